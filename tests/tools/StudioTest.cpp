// ovetool studio over real HTTP: the tool runs as its own process; cpp-httplib's client sends the
// requests, refusals (no token, a foreign Host, oversized bodies) included.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "image/RunMask.h"
#include "io/DataBin.h"
#include "support/TestSupport.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace {

namespace fs = std::filesystem;
using ove::u32;
using ove::u8;

constexpr int kW = 64, kH = 48;

struct SReply {
    int status = 0;
    std::string body;
};

// One running `ovetool studio`, stopped when the object goes.
class CStudioProcess {
public:
    explicit CStudioProcess(const fs::path& room) {
        int out[2];
        if (::pipe(out) != 0) return;
        const std::string tool = std::string(OVE_BUILD_DIR) + "/ovetool";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(tool.c_str(), tool.c_str(), "studio", room.c_str(), "--port", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
            char buffer[256];
            ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, std::size_t(n));
        }
        ::close(out[0]);
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(http://127\.0\.0\.1:(\d+)/\?t=([0-9a-f]+))"))) {
            port = std::stoi(m[1]);
            token = m[2];
        }
    }
    ~CStudioProcess() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    CStudioProcess(const CStudioProcess&) = delete;
    CStudioProcess& operator=(const CStudioProcess&) = delete;

    // Sends one request; the token goes in a header unless `withToken` is false.
    SReply Send(const std::string& method, const std::string& target, const std::string& body = {},
                const std::string& type = "application/json", bool withToken = true,
                const std::string& host = {}) const {
        httplib::Client client("127.0.0.1", port);
        client.set_url_encode(false);  // targets go out exactly as written
        httplib::Headers headers;
        if (withToken) headers.emplace("X-Studio-Token", token);
        if (!host.empty()) headers.emplace("Host", host);
        const httplib::Result r = method == "GET"   ? client.Get(target, headers)
                                  : method == "PUT" ? client.Put(target, headers, body, type)
                                                    : client.Post(target, headers, body, type);
        return r ? SReply{r->status, r->body} : SReply{};
    }
    SReply Get(const std::string& target) const { return Send("GET", target); }

    int port = 0;
    std::string token;

private:
    pid_t m_pid = -1;
};

// A room picture whose pixels say where they are, so that swapped channels or rows show.
fs::path WritePicture(const ovetest::TempDir& dir) {
    ove::CBitmap bitmap(kW, kH, ove::PixelFormat::Rgb888);
    for (int y = 0; y < kH; ++y) {
        u8* row = bitmap.TopRow(u32(y));
        for (int x = 0; x < kW; ++x) {
            row[x * 3 + 0] = 200;        // blue
            row[x * 3 + 1] = u8(y * 5);  // green
            row[x * 3 + 2] = u8(x * 3);  // red
        }
    }
    const fs::path path = dir / "hall.bmp";
    std::string error;
    EXPECT_TRUE(ove::SaveImageFile(path.string(), bitmap, &error)) << error;
    return path;
}

std::string Bytes(const std::vector<u8>& v) { return std::string(v.begin(), v.end()); }

// A floor with a wall that leaves a gap at the bottom; the area right of x = 56 has value 2.
std::vector<u8> FloorWithWall() {
    std::vector<u8> walk(std::size_t(kW) * kH, 0);
    for (int y = 10; y < kH; ++y)
        for (int x = 2; x < kW - 2; ++x) walk[std::size_t(y) * kW + x] = x >= 56 ? 2 : 1;
    for (int y = 10; y < 40; ++y)
        for (int x = 30; x < 33; ++x) walk[std::size_t(y) * kW + x] = 0;
    return walk;
}

ove::WalkPath EnginePath(const std::vector<u8>& walk, int index, int reference, ove::SWalkPoint a, ove::SWalkPoint b) {
    ove::CRunMask mask = ove::CRunMask::Encode(walk.data(), u32(walk.size()));
    ove::CWalker walker;
    walker.SetMask(&mask, kW, kH);
    walker.SetConstraint(index, reference);
    ove::WalkPath path;
    if (!walker.FindPath(a, b, path, true)) path.clear();
    return path;
}

// The "path" of a reply (start first), turned round as the walker hands paths out.
ove::WalkPath PathPoints(const std::string& body) {
    ove::WalkPath points;
    const auto begin = body.find("\"path\":["), end = body.find(']', begin);
    if (begin == std::string::npos || end == std::string::npos) return points;
    const std::string list = body.substr(begin, end - begin);
    const std::regex point(R"(\{"x":(-?\d+),"y":(-?\d+)\})");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), point); it != std::sregex_iterator(); ++it)
        points.insert(points.begin(), ove::SWalkPoint{std::stoi((*it)[1]), std::stoi((*it)[2])});
    return points;
}

}  // namespace

TEST(Studio, EditsPreviewsAndSavesARoom) {
    ovetest::TempDir dir;
    const fs::path picture = WritePicture(dir);
    CStudioProcess studio(picture);
    ASSERT_GT(studio.port, 0) << "no address printed";

    SReply room = studio.Get("/api/room");
    ASSERT_EQ(room.status, 200);
    EXPECT_NE(room.body.find("\"file\":\"hall.OVP\""), std::string::npos) << room.body;
    EXPECT_NE(room.body.find("\"width\":64"), std::string::npos) << room.body;
    EXPECT_NE(room.body.find("\"height\":48"), std::string::npos) << room.body;

    // The image comes back as RGBA, top row first.
    SReply image = studio.Get("/api/image");
    ASSERT_EQ(image.body.size(), std::size_t(kW) * kH * 4);
    for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {5, 47}, {40, 20}})
        EXPECT_EQ(image.body.substr((std::size_t(y) * kW + x) * 4, 4), Bytes({u8(x * 3), u8(y * 5), 200, 255}))
            << x << "," << y;

    // Paint the floor, a depth level and two hotspots, one of them without a name.
    const std::vector<u8> walk = FloorWithWall();
    std::vector<u8> depth(walk.size(), 0), click(walk.size(), 0);
    for (int y = 20; y < 30; ++y)
        for (int x = 10; x < 20; ++x) depth[std::size_t(y) * kW + x] = 9;
    for (int y = 0; y < 10; ++y)
        for (int x = 50; x < 60; ++x) click[std::size_t(y) * kW + x] = 1;
    click[std::size_t(5) * kW + 2] = 7;
    const std::string octets = "application/octet-stream";
    EXPECT_EQ(studio.Send("PUT", "/api/mask/walk", Bytes(walk), octets).status, 200);
    EXPECT_EQ(studio.Send("PUT", "/api/mask/depth", Bytes(depth), octets).status, 200);
    EXPECT_EQ(studio.Send("PUT", "/api/mask/click", Bytes(click), octets).status, 200);
    EXPECT_EQ(studio.Send("PUT", "/api/hotspots", R"({"hotspots":[{"number":1,"name":"door"}]})").status, 200);
    EXPECT_EQ(studio.Get("/api/mask/walk").body, Bytes(walk));

    // What the game's queries answer.
    EXPECT_NE(studio.Get("/api/at?x=55&y=3").body.find("\"hotspot\":\"door\""), std::string::npos);
    EXPECT_NE(studio.Get("/api/at?x=2&y=5").body.find("\"hotspot\":null"), std::string::npos);
    SReply floor = studio.Get("/api/at?x=12&y=25");
    EXPECT_NE(floor.body.find("\"hotspot\":\"*\""), std::string::npos) << floor.body;
    EXPECT_NE(floor.body.find("\"walk\":1"), std::string::npos) << floor.body;
    EXPECT_NE(floor.body.find("\"depth\":9"), std::string::npos) << floor.body;
    EXPECT_NE(studio.Get("/api/at?x=31&y=20").body.find("\"walk\":0"), std::string::npos);
    EXPECT_NE(studio.Get("/api/at?x=-1&y=20").body.find("\"walk\":0"), std::string::npos);

    // Paths are the game's walks: round the wall, under the constraint asked for, and to the
    // nearest reachable point when the goal cannot be stood on.
    struct SCase {
        const char* op;
        int index, reference;
        ove::SWalkPoint from, to;
        bool detour, reachable;
    };
    // "<=" 1 lets the sprite through the wall (value 0); "==" 1 keeps it off the value-2 side.
    for (const SCase& c : {SCase{"!=", ove::kConNot, 0, {10, 20}, {50, 20}, true, true},
                           SCase{"<=", ove::kConLEqual, 1, {10, 20}, {50, 15}, false, true},
                           SCase{"==", ove::kConEqual, 1, {10, 20}, {60, 20}, true, false}}) {
        const std::string body = "{\"from\":{\"x\":" + std::to_string(c.from.x) + ",\"y\":" + std::to_string(c.from.y) +
                                 "},\"to\":{\"x\":" + std::to_string(c.to.x) + ",\"y\":" + std::to_string(c.to.y) +
                                 "},\"constraint\":\"" + c.op + "\",\"reference\":" + std::to_string(c.reference) + "}";
        SReply reply = studio.Send("POST", "/api/path", body);
        ASSERT_EQ(reply.status, 200) << reply.body;
        const ove::WalkPath walked = PathPoints(reply.body);
        ASSERT_GE(walked.size(), 2u) << c.op << reply.body;
        const ove::SWalkPoint end = walked.front();
        EXPECT_EQ(end == c.to, c.reachable) << c.op << reply.body;
        EXPECT_EQ(walk[std::size_t(end.y) * kW + end.x], 1) << c.op;
        const ove::WalkPath expected = EnginePath(walk, c.index, c.reference, c.from, end);
        EXPECT_EQ(walked, expected) << c.op << reply.body;
        EXPECT_EQ(walked.size() > 2, c.detour) << c.op << reply.body;
    }
    // Shown at double size, the path's screen points are the backdrop's doubled.
    SReply scaled = studio.Send("POST", "/api/path",
                                R"({"from":{"x":10,"y":20},"to":{"x":20,"y":20},"shown":{"width":128}})");
    EXPECT_NE(scaled.body.find(R"("screen":[{"x":20,"y":40},{"x":40,"y":40}])"), std::string::npos) << scaled.body;

    // A view beside the room: its cels come as a sprite of it shows them (centred on its feet).
    {
        ove::CBitmap cel(3, 5, ove::PixelFormat::Rgba8888);
        for (u32 y = 0; y < 5; ++y)
            for (u32 x = 0; x < 3; ++x) {
                u8* p = cel.TopRow(y) + x * 4;  // B, G, R, A
                p[0] = 10;
                p[1] = u8(20 + y);
                p[2] = u8(30 + x);
                p[3] = 255;
            }
        std::string error;
        ASSERT_TRUE(ove::SaveImageFile((dir / "hero0.bmp").string(), cel, &error)) << error;
        const std::string tool = std::string(OVE_BUILD_DIR) + "/ovetool";
        ASSERT_EQ(ovetest::Run(tool + " view " + (dir / "hero.OVV").string() + " --loop " +
                               (dir / "hero0.bmp").string() + "@1,-2 --mirror 0"),
                  0);
        fs::remove(dir / "hero0.bmp");
    }
    EXPECT_NE(studio.Get("/api/views").body.find("[\"hero.OVV\"]"), std::string::npos);
    for (const char* loop : {"0", "1"}) {
        SReply cel = studio.Get(std::string("/api/cel?view=hero.OVV&cel=4&loop=") + loop);
        ASSERT_EQ(cel.body.size(), 24u + 3 * 5 * 4) << cel.body;
        auto word = [&](int i) {
            const u8* b = reinterpret_cast<const u8*>(cel.body.data()) + i * 4;
            return std::int32_t(b[0] | b[1] << 8 | b[2] << 16 | u32(b[3]) << 24);
        };
        // Width, height, top (-2 - 4: the feet on the position), loops, cels.
        EXPECT_EQ((std::vector<int>{word(0), word(1), word(3), word(4), word(5)}), (std::vector<int>{3, 5, -6, 2, 1}));
        // RGBA, top row first; the mirrored loop reads from the right.
        EXPECT_EQ(cel.body.substr(24 + (4 * 3 + 0) * 4, 4), Bytes({u8(loop[0] == '0' ? 30 : 32), 24, 10, 255}));
    }

    // Sprites lower in the room stand nearer; the levels in front of one are those above its own.
    SReply rows = studio.Get("/api/priorities");
    SReply top = studio.Get("/api/depth?x=10&y=2"), bottom = studio.Get("/api/depth?x=10&y=47");
    std::smatch m;
    std::vector<int> priorities;
    for (const SReply* r : {&top, &bottom}) {
        ASSERT_TRUE(std::regex_search(r->body, m, std::regex(R"("hiddenBy":\[(\d*).*"priority":(\d+))"))) << r->body;
        const int priority = std::stoi(m[2]);
        priorities.push_back(priority);
        if (priority < 15) {
            EXPECT_EQ(std::stoi(m[1]), priority + 1) << r->body;
        }
    }
    EXPECT_LT(priorities[0], priorities[1]);
    EXPECT_NE(rows.body.find("[" + std::to_string(priorities[0]) + ","), std::string::npos) << rows.body;
    EXPECT_NE(rows.body.find("," + std::to_string(priorities[1]) + "]"), std::string::npos) << rows.body;

    // Saving writes the resource whole; the engine reads back what was painted.
    SReply saved = studio.Send("POST", "/api/save", "");
    ASSERT_EQ(saved.status, 200) << saved.body;
    const fs::path resource = dir / "hall.OVP";
    ASSERT_TRUE(fs::exists(resource));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << "left behind: " << entry.path();
    {
        ove::CBackdropPicture back;
        ove::CBuffer in(ovetest::ReadFileBytes(resource));
        ASSERT_TRUE(back.Load(&in));
        ASSERT_TRUE(back.WalkMask() && back.DepthMask() && back.ClickMask());
        EXPECT_EQ(back.ControlMask(), nullptr) << "an unpainted mask is not stored";
        std::vector<u8> values(walk.size());
        back.WalkMask()->Expand(values.data(), values.size());
        EXPECT_EQ(values, walk);
        back.ClickMask()->Expand(values.data(), values.size());
        EXPECT_EQ(values, click);
        ASSERT_NE(back.HotspotName(1), nullptr);
        EXPECT_STREQ(back.HotspotName(1), "door");

        // Another tool changes the room on disk; reloading picks it up.
        back.SetHotspotName(2, "window");
        ove::CBuffer out;
        ASSERT_TRUE(back.Save(&out));
        dir.Write("hall.OVP", out.Bytes());
    }
    SReply reloaded = studio.Send("POST", "/api/reload", "");
    EXPECT_NE(reloaded.body.find("\"window\""), std::string::npos) << reloaded.body;

    // Saving under another name stays in the folder and opens as the same room.
    EXPECT_EQ(studio.Send("POST", "/api/save", R"({"file":"copy.ovp"})").status, 200);
    EXPECT_EQ(ovetest::ReadFileBytes(dir / "copy.ovp"), ovetest::ReadFileBytes(resource));

    // A hotspot taken off the list no longer names its pixels.
    EXPECT_EQ(studio.Send("PUT", "/api/hotspots", R"({"hotspots":[{"number":2,"name":"window"}]})").status, 200);
    EXPECT_NE(studio.Get("/api/at?x=55&y=3").body.find("\"hotspot\":null"), std::string::npos);

    // The source pictures saved beside the room (now copy.ovp) build the same room with ovetool pict.
    SReply sources = studio.Send("POST", "/api/save", R"({"sources":true})");
    ASSERT_EQ(sources.status, 200) << sources.body;
    EXPECT_NE(sources.body.find("copy-hotspots.txt"), std::string::npos) << sources.body;
    const std::string tool = std::string(OVE_BUILD_DIR) + "/ovetool";
    const fs::path rebuilt = dir / "rebuilt.OVP";
    ASSERT_EQ(
        ovetest::Run(tool + " pict " + rebuilt.string() + " --image " + picture.string() + " --walk " +
                     (dir / "copy-walk.png").string() + " --depth " + (dir / "copy-depth.png").string() + " --click " +
                     (dir / "copy-click.png").string() + " --hotspots " + (dir / "copy-hotspots.txt").string()),
        0);
    EXPECT_EQ(ovetest::ReadFileBytes(rebuilt), ovetest::ReadFileBytes(dir / "copy.ovp"));
}

TEST(Studio, RefusesWhatItShouldNotDo) {
    ovetest::TempDir dir;
    const fs::path room = dir / "inner" / "hall.bmp";
    fs::create_directories(room.parent_path());
    fs::rename(WritePicture(dir), room);
    CStudioProcess studio(room);
    ASSERT_GT(studio.port, 0);
    const std::string port = std::to_string(studio.port);

    EXPECT_EQ(studio.Send("GET", "/api/room", "", "", false).status, 403) << "no token";
    EXPECT_EQ(studio.Send("GET", "/?t=" + std::string(studio.token.size(), '0'), "", "", false).status, 403);
    EXPECT_EQ(studio.Send("GET", "/?t=" + studio.token, "", "", false).status, 200) << "the page with the token";
    EXPECT_EQ(studio.Send("GET", "/api/room", "", "", true, "evil.example:" + port).status, 403) << "foreign host";
    EXPECT_EQ(studio.Send("GET", "/api/room", "", "", true, "127.0.0.1:1").status, 403) << "other port";
    EXPECT_EQ(studio.Send("GET", "/api/room", "", "", true, "localhost:" + port).status, 200);
    // A refused request changes nothing.
    std::string walk(std::size_t(kW) * kH, '\1');
    EXPECT_EQ(studio.Send("PUT", "/api/mask/walk", walk, "application/octet-stream", false).status, 403);
    EXPECT_EQ(studio.Get("/api/mask/walk").body, std::string(walk.size(), '\0'));

    // Files outside the room's folder, or not rooms.
    for (const char* file : {"../hall.OVP", "/tmp/hall.OVP", "sub/../../hall.OVP"})
        EXPECT_EQ(studio.Send("POST", "/api/save", std::string("{\"file\":\"") + file + "\"}").status, 403) << file;
    for (const char* body :
         {R"({"file":"main.ovs"})", R"({"file":""})", R"({"file":7})", R"({"sources":"yes"})", "not json"})
        EXPECT_EQ(studio.Send("POST", "/api/save", body).status, 400) << body;
    EXPECT_FALSE(fs::exists(dir / "hall.OVP"));
    EXPECT_FALSE(fs::exists(room.parent_path() / "main.ovs"));

    // Bodies larger than a mask of the room, masks of the wrong size, bad values.
    EXPECT_EQ(studio.Send("PUT", "/api/mask/walk", std::string(200000, '\1'), "application/octet-stream").status, 413);
    EXPECT_EQ(studio.Send("PUT", "/api/mask/walk", walk + "x", "application/octet-stream").status, 400);
    EXPECT_EQ(studio.Send("PUT", "/api/mask/nothing", walk, "application/octet-stream").status, 404);
    for (const char* body : {R"({"hotspots":[{"number":0,"name":"a"}]})", R"({"hotspots":[{"number":256,"name":"a"}]})",
                             R"({"hotspots":[{"number":1,"name":""}]})", R"({"hotspots":[{"number":1}]})",
                             R"({"hotspots":[{"number":1,"name":"a"},{"number":1,"name":"b"}]})", "[1,2"})
        EXPECT_EQ(studio.Send("PUT", "/api/hotspots", body).status, 400) << body;
    for (const char* body :
         {R"({"from":{"x":1},"to":{"x":2,"y":2}})", R"({"from":{"x":1,"y":1},"to":{"x":2,"y":2},"constraint":"~"})",
          R"({"from":{"x":1,"y":1},"to":{"x":1e99,"y":2}})", "{"})
        EXPECT_EQ(studio.Send("POST", "/api/path", body).status, 400) << body;
    for (const char* target :
         {"/api/at?x=1", "/api/at?x=1&y=2z", "/api/at?x=99999999999&y=1", "/api/depth?x=1&y=1&shownHeight=-4"})
        EXPECT_EQ(studio.Get(target).status, 400) << target;

    // Reloading before the first save, or a room that grew on disk beyond what the server takes.
    EXPECT_EQ(studio.Send("POST", "/api/reload", "").status, 404);
    ASSERT_EQ(studio.Send("POST", "/api/save", "").status, 200);
    {
        ove::CBackdropPicture bigger;
        bigger.SetImage(std::make_unique<ove::CBitmap>(kW * 2, kH * 2, ove::PixelFormat::Rgb888));
        ove::CBuffer out;
        ASSERT_TRUE(bigger.Save(&out));
        dir.Write("inner/hall.OVP", out.Bytes());
    }
    EXPECT_EQ(studio.Send("POST", "/api/reload", "").status, 409);
    EXPECT_NE(studio.Get("/api/room").body.find("\"width\":64"), std::string::npos);

    // Only views listed in the room's folder.
    for (const char* view : {"../hall.OVV", "hall.bmp", "missing.OVV", "%2Fetc%2Fpasswd"})
        EXPECT_EQ(studio.Get(std::string("/api/cel?view=") + view).status, 404) << view;

    // Still serving.
    EXPECT_EQ(studio.Get("/api/room").status, 200);
}
