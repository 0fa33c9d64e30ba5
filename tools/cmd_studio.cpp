// ovetool studio: a room editor in the browser. A local web server holds one backdrop picture,
// serves the editing page and answers its questions with the engine's own code (walkability,
// hotspots, sprite depths, the walker's paths).
//
// Only this user's browser may drive it: it listens on 127.0.0.1, every request carries a random
// token printed with the address, the Host header must name the loopback address (a page served
// from elsewhere cannot rebind its name to us), files are read and written only in the room's
// folder and bodies larger than a mask of the room are refused.

// The Debian build of the library is compiled with these; the declarations must match it.
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#ifndef CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#endif
#ifndef CPPHTTPLIB_BROTLI_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#endif
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "Command.h"
#include "StudioPage.h"
#include "StudioRoom.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using studio::CStudioRoom;

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool studio: %s\n", message.c_str());
    return 1;
}

std::string MakeToken() {
    unsigned char bytes[16];
    std::ifstream random("/dev/urandom", std::ios::binary);
    if (!random.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

// Compares without stopping at the first difference, so timing says nothing about the token.
bool SameToken(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= unsigned(a[i] ^ b[i]);
    return diff == 0;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void Error(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(json{{"error", message}}.dump(), "application/json");
}

void Json(httplib::Response& res, const json& value) { res.set_content(value.dump(), "application/json"); }

// An integer member in a range; false when missing or of another type.
bool GetInt(const json& object, const char* key, std::int64_t low, std::int64_t high, std::int32_t& out) {
    if (!object.is_object()) return false;
    auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer()) return false;
    const std::int64_t v = it->get<std::int64_t>();
    if (v < low || v > high) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool GetPoint(const json& object, const char* key, ove::SWalkPoint& out) {
    if (!object.is_object() || !object.contains(key)) return false;
    const json& p = object[key];
    constexpr std::int64_t kFar = 1 << 30;
    return GetInt(p, "x", -kFar, kFar, out.x) && GetInt(p, "y", -kFar, kFar, out.y);
}

// Query parameters that must be integers.
bool QueryInt(const httplib::Request& req, const char* key, std::int32_t& out, bool required = true) {
    if (!req.has_param(key)) return !required;
    const std::string text = req.get_param_value(key);
    if (text.empty() || text.size() > 11) return false;
    std::size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used);
    } catch (const std::exception&) {
        return false;
    }
    if (used != text.size() || v < -(1LL << 30) || v > (1LL << 30)) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// The shown room, from a JSON object or from query parameters.
bool ShownFromJson(const json& body, studio::SShown& shown) {
    if (!body.contains("shown")) return true;
    const json& s = body["shown"];
    constexpr std::int64_t kMax = 1 << 20;
    return (!s.contains("width") || GetInt(s, "width", 0, kMax, shown.width)) &&
           (!s.contains("height") || GetInt(s, "height", 0, kMax, shown.height)) &&
           (!s.contains("priorityHeight") || GetInt(s, "priorityHeight", 0, kMax, shown.priorityHeight));
}

bool ShownFromQuery(const httplib::Request& req, studio::SShown& shown) {
    return QueryInt(req, "shownWidth", shown.width, false) && QueryInt(req, "shownHeight", shown.height, false) &&
           QueryInt(req, "priorityHeight", shown.priorityHeight, false) && shown.width >= 0 && shown.height >= 0 &&
           shown.priorityHeight >= 0;
}

class CStudioServer {
public:
    CStudioServer(CStudioRoom& room, std::string token) : m_room(room), m_token(std::move(token)) {}

    // Binds to 127.0.0.1 (a free port for 0); the port or -1.
    int Bind(int port) {
        Routes();
        // Fixed from the start (the server reads it from its workers): a reloaded room may not grow.
        m_maxPixels = std::size_t(m_room.Width()) * std::size_t(m_room.Height());
        m_server.set_payload_max_length(std::max<std::size_t>(m_maxPixels, 1 << 16) + 4096);
        // A few workers, so that a connection the browser keeps open never holds up the next; the
        // mutex keeps them to one at a time on the room.
        m_server.new_task_queue = [] { return new httplib::ThreadPool(4); };
        m_port = port == 0 ? m_server.bind_to_any_port("127.0.0.1")
                           : (m_server.bind_to_port("127.0.0.1", port) ? port : -1);
        return m_port;
    }
    bool Listen() { return m_server.listen_after_bind(); }

private:
    json RoomJson() const {
        json masks = json::object();
        for (int i = 0; i < CStudioRoom::kMaskCount; ++i) masks[CStudioRoom::MaskName(i)] = m_room.HasMask(i);
        json hotspots = json::array();
        for (const auto& [number, name] : m_room.Hotspots()) hotspots.push_back({{"number", number}, {"name", name}});
        return {{"file", m_room.Path().filename().string()},
                {"width", m_room.Width()},
                {"height", m_room.Height()},
                {"masks", masks},
                {"hotspots", hotspots}};
    }

    bool Allowed(const httplib::Request& req, httplib::Response& res) const {
        const std::string host = req.get_header_value("Host");
        const std::string port = ":" + std::to_string(m_port);
        if (host != "127.0.0.1" + port && host != "localhost" + port) {
            Error(res, 403, "wrong host");
            return false;
        }
        std::string token = req.get_header_value("X-Studio-Token");
        if (token.empty() && req.has_param("t")) token = req.get_param_value("t");
        if (!SameToken(token, m_token)) {
            Error(res, 403, "missing or wrong token");
            return false;
        }
        return true;
    }

    void Routes() {
        m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return Allowed(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                     : httplib::Server::HandlerResponse::Handled;
        });
        m_server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return;
            const char* text = res.status == 413   ? "request too large"
                               : res.status == 404 ? "no such thing"
                                                   : "bad request";
            Error(res, res.status, text);
        });
        m_server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            // The address holds the token: never pass it on.
            res.set_header("Referrer-Policy", "no-referrer");
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; style-src 'unsafe-inline'; "
                           "script-src 'unsafe-inline'; img-src 'self' data: blob:");
            res.set_content(studio::PageHtml(), "text/html; charset=utf-8");
        });
        m_server.Get("/api/room", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            Json(res, RoomJson());
        });
        m_server.Get("/api/image", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            std::vector<ove::u8> rgba = m_room.ImageRgba();
            res.set_content(std::string(rgba.begin(), rgba.end()), "application/octet-stream");
        });
        m_server.Get(R"(/api/mask/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            const int which = CStudioRoom::MaskByName(req.matches[1]);
            if (which < 0) return Error(res, 404, "no such mask");
            const auto& mask = m_room.Mask(which);
            res.set_content(std::string(mask.begin(), mask.end()), "application/octet-stream");
        });
        m_server.Put(R"(/api/mask/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            const int which = CStudioRoom::MaskByName(req.matches[1]);
            if (which < 0) return Error(res, 404, "no such mask");
            if (!m_room.SetMask(which, reinterpret_cast<const ove::u8*>(req.body.data()), req.body.size()))
                return Error(res, 400, "a mask has one byte for each pixel of the room");
            Json(res, {{"ok", true}});
        });
        m_server.Put("/api/hotspots", [this](const httplib::Request& req, httplib::Response& res) {
            json body = json::parse(req.body, nullptr, false);
            if (!body.is_object() || !body.contains("hotspots") || !body["hotspots"].is_array())
                return Error(res, 400, "expected {\"hotspots\": [{\"number\": N, \"name\": \"...\"}]}");
            std::map<std::uint32_t, std::string> names;
            for (const json& h : body["hotspots"]) {
                std::int32_t number = 0;
                // Click-mask values are bytes: hotspots 1 to 255.
                if (!GetInt(h, "number", 1, 255, number) || !h.contains("name") || !h["name"].is_string())
                    return Error(res, 400, "a hotspot has a number from 1 to 255 and a name");
                std::string name = h["name"].get<std::string>();
                if (name.empty() || name.size() > 255 || name.find('\0') != std::string::npos)
                    return Error(res, 400, "a hotspot name has 1 to 255 characters");
                if (!names.emplace(std::uint32_t(number), std::move(name)).second)
                    return Error(res, 400, "hotspot numbers must differ");
            }
            std::lock_guard lock(m_mutex);
            m_room.SetHotspots(std::move(names));
            Json(res, {{"ok", true}});
        });
        m_server.Get("/api/at", [this](const httplib::Request& req, httplib::Response& res) {
            std::int32_t x = 0, y = 0;
            if (!QueryInt(req, "x", x) || !QueryInt(req, "y", y)) return Error(res, 400, "x and y are integers");
            std::lock_guard lock(m_mutex);
            const studio::SPointInfo info = m_room.At(x, y);
            Json(res, {{"x", x},
                       {"y", y},
                       {"walk", info.walk},
                       {"control", info.control},
                       {"depth", info.depth},
                       {"click", info.click},
                       {"hotspot", info.hotspotNamed ? json(info.hotspot) : json(nullptr)}});
        });
        m_server.Get("/api/depth", [this](const httplib::Request& req, httplib::Response& res) {
            std::int32_t x = 0, y = 0;
            studio::SShown shown;
            if (!QueryInt(req, "x", x) || !QueryInt(req, "y", y) || !ShownFromQuery(req, shown))
                return Error(res, 400, "x and y are integers, the shown sizes positive integers");
            std::lock_guard lock(m_mutex);
            const studio::SDepthInfo info = m_room.DepthAt(x, y, shown);
            Json(res, {{"priority", info.priority}, {"depth", info.depth}, {"hiddenBy", info.hiddenBy}});
        });
        m_server.Get("/api/priorities", [this](const httplib::Request& req, httplib::Response& res) {
            studio::SShown shown;
            if (!ShownFromQuery(req, shown)) return Error(res, 400, "the shown sizes are positive integers");
            std::lock_guard lock(m_mutex);
            Json(res, {{"rows", m_room.RowPriorities(shown)}});
        });
        m_server.Get("/api/views", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            Json(res, {{"views", Views()}});
        });
        m_server.Get("/api/cel", [this](const httplib::Request& req, httplib::Response& res) {
            std::int32_t loop = 0, cel = 0;
            if (!req.has_param("view") || !QueryInt(req, "loop", loop, false) || !QueryInt(req, "cel", cel, false))
                return Error(res, 400, "expected view=NAME.OVV&loop=L&cel=C");
            // Only the views lying in the room's folder, by their listed names.
            std::lock_guard lock(m_mutex);
            const std::vector<std::string> views = Views();
            const std::string name = req.get_param_value("view");
            if (std::find(views.begin(), views.end(), name) == views.end())
                return Error(res, 404, "no such view in the room's folder");
            studio::SCelImage image;
            std::string error;
            if (!studio::LoadCel(Folder() / name, loop, cel, image, &error)) return Error(res, 422, error);
            // Six little-endian words (width, height, left, top, loops, cels), then the pixels.
            std::string body;
            for (std::int32_t v : {image.width, image.height, image.left, image.top, image.loops, image.cels})
                for (int b = 0; b < 32; b += 8) body += static_cast<char>((std::uint32_t(v) >> b) & 0xFF);
            body.append(image.rgba.begin(), image.rgba.end());
            res.set_content(body, "application/octet-stream");
        });
        m_server.Post("/api/path", [this](const httplib::Request& req, httplib::Response& res) {
            json body = json::parse(req.body, nullptr, false);
            ove::SWalkPoint from, to;
            std::int32_t constraint = ove::kConDefault, reference = 0;
            studio::SShown shown;
            if (!GetPoint(body, "from", from) || !GetPoint(body, "to", to) || !ShownFromJson(body, shown))
                return Error(res, 400, "expected {\"from\": {x, y}, \"to\": {x, y}}");
            if (body.contains("constraint")) {
                const json& c = body["constraint"];
                constraint = c.is_string() ? ove::ConstraintIndex(c.get<std::string>().c_str()) : -1;
                if (constraint < 0) return Error(res, 400, "the constraint is one of < <= == >= > != mask");
            }
            if (body.contains("reference") && !GetInt(body, "reference", INT32_MIN, INT32_MAX, reference))
                return Error(res, 400, "the reference is an integer");
            std::lock_guard lock(m_mutex);
            const studio::SPathResult path = m_room.FindPath(from, to, constraint, reference, shown);
            json points = json::array(), screen = json::array();
            for (const auto& p : path.backdrop) points.push_back({{"x", p.x}, {"y", p.y}});
            for (const auto& p : path.screen) screen.push_back({{"x", p.x}, {"y", p.y}});
            Json(res, {{"found", path.found}, {"path", points}, {"screen", screen}});
        });
        m_server.Post("/api/save", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            fs::path target = m_room.Path();
            bool sourcesToo = false;
            if (!req.body.empty()) {
                json body = json::parse(req.body, nullptr, false);
                if (!body.is_object()) return Error(res, 400, "expected {\"file\": \"NAME.OVP\"} or nothing");
                if (body.contains("sources")) {
                    if (!body["sources"].is_boolean()) return Error(res, 400, "sources is true or false");
                    sourcesToo = body["sources"].get<bool>();
                }
                if (body.contains("file")) {
                    if (!body["file"].is_string()) return Error(res, 400, "the file is a name");
                    const fs::path name = body["file"].get<std::string>();
                    if (name.empty() || Lower(name.extension().string()) != ".ovp")
                        return Error(res, 400, "a room is saved as NAME.OVP");
                    target = Folder() / name;
                    if (!studio::InsideFolder(Folder(), target))
                        return Error(res, 403, "rooms are saved in the room's folder only");
                }
            }
            std::string error;
            if (!m_room.Save(target, &error)) return Error(res, 500, error);
            std::vector<std::string> sources;
            if (sourcesToo && !m_room.ExportSources(target, &sources, &error)) return Error(res, 500, error);
            Json(res, {{"saved", target.filename().string()}, {"sources", sources}, {"room", RoomJson()}});
        });
        m_server.Post("/api/reload", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            std::string error;
            if (!fs::exists(m_room.Path())) return Error(res, 404, "the room has not been saved yet");
            if (!m_room.Reload(&error, m_maxPixels)) return Error(res, 409, error);
            Json(res, RoomJson());
        });
        m_server.Post("/api/quit", [this](const httplib::Request&, httplib::Response& res) {
            Json(res, {{"ok", true}});
            m_server.stop();
        });
    }

    // The view resources beside the room.
    std::vector<std::string> Views() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Folder(), ec)) {
            std::error_code ignored;
            if (entry.is_regular_file(ignored) && Lower(entry.path().extension().string()) == ".ovv")
                names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path Folder() const {
        fs::path folder = m_room.Path().parent_path();
        return folder.empty() ? fs::path(".") : folder;
    }

    CStudioRoom& m_room;
    std::string m_token;
    httplib::Server m_server;
    std::mutex m_mutex;
    int m_port = -1;
    std::size_t m_maxPixels = 0;  // a mask of the room is the largest body anyone needs to send
};

void OpenBrowser(const std::string& url) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::fprintf(stderr, "ovetool studio: cannot start xdg-open; open the address yourself\n");
        return;
    }
    // Some browsers keep xdg-open waiting until they close: reap it on the side.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
}

int RunStudio(const ovetool::Args& args) {
    std::string roomPath;
    int port = 0;
    bool open = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--port" && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(v) > 65535)
                return Fail("--port takes a number from 0 to 65535");
            port = std::stoi(v);
        } else if (a == "--open") {
            open = true;
        } else if (a.rfind("--", 0) == 0) {
            return Fail("unknown or incomplete option " + a);
        } else if (roomPath.empty()) {
            roomPath = a;
        } else {
            return Fail("unexpected argument " + a);
        }
    }
    if (roomPath.empty()) return Fail("no room: give a backdrop resource (.OVP) or a picture to start from");

    CStudioRoom room;
    std::string error;
    if (!room.Open(roomPath, &error)) return Fail(error);
    const std::string token = MakeToken();
    if (token.empty()) return Fail("cannot read /dev/urandom for the access token");

    CStudioServer server(room, token);
    const int bound = server.Bind(port);
    if (bound <= 0) return Fail("cannot listen on 127.0.0.1:" + std::to_string(port));
    const std::string url = "http://127.0.0.1:" + std::to_string(bound) + "/?t=" + token;
    std::printf("ovetool studio: editing %s at %s\n", room.Path().string().c_str(), url.c_str());
    std::fflush(stdout);
    if (open) OpenBrowser(url);
    return server.Listen() ? 0 : Fail("the server stopped with an error");
}

}  // namespace

OVE_TOOL_COMMAND("studio", RunStudio);
