// The game host: owns the window, data source, resources, renderer, sound and scene lists,
// and drives the script's Init/Run/Quit.
#pragma once
#include <cstdint>
#include <list>
#include <string>

namespace ove {

class CGameWindow;
class CGameViewport;
class CFileFolder;
class CResourceCache;
class CSoundManager;
class CRenderer;
class CFont;
class CSprite;
class CDrawingElement;
class CGUIElement;
class CBackdropPicture;
class CTileLayerSet;
class CWalker;

// High-resolution frame timer.
class CTimer {
public:
    CTimer();
    void Mark();
    float Elapsed() const;  // seconds since the last mark

private:
    int64_t frequency_;
    int64_t mark_;
    double reciprocal_;
};

class CGame {
public:
    CGame();
    ~CGame();
    CGame(const CGame&) = delete;
    CGame& operator=(const CGame&) = delete;

    bool Startup();
    bool InitGame(const std::string& commandLine);
    void Run();
    // Processes pending window messages. False once the window was closed (Quit() was called).
    bool MessagePump(unsigned lowest = 0, unsigned highest = 0);
    void Cleanup();

    // Error box owned by the game window (or by nobody).
    void ShowError(const std::string& text, bool owned = true);

    // ---- owned state, in the host's order
    CGameWindow* window = nullptr;
    CGameViewport* viewport = nullptr;
    CFileFolder* folder = nullptr;
    CResourceCache* resources = nullptr;
    CSoundManager* sound = nullptr;
    CRenderer* renderer = nullptr;
    CTimer* timer = nullptr;
    std::string scriptName = "main";
    std::string fontName;
    CFont* defaultFont = nullptr;
    std::list<CSprite*> sprites;
    std::list<CDrawingElement*> drawingElements;
    std::list<CGUIElement*> guiWindows;
    uint32_t mouseButtons = 0;
    int32_t keyQueue[128] = {};
    uint32_t keyCount = 0;
    CGUIElement* focused = nullptr;
    CGUIElement* hovered = nullptr;
    CGUIElement* mouseCapture = nullptr;
    CBackdropPicture* backdrop = nullptr;
    int32_t backdropHeight = 0, backdropWidth = 0;
    int32_t backdropX = 0, backdropY = 0;
    uint8_t fullScreen = 0;
    CTileLayerSet* tileLayers = nullptr;
    int32_t priorityViewportHeight = -1;
    CWalker* walker = nullptr;
    uint32_t updatePass = 0;
    uint32_t listChanged = 0;
    uint32_t backdropColour = 0;
    std::string backdropName;

    // Set when an error box ended the engine (the process then exits with status 1).
    bool failed = false;
};

// The process-wide game used by the script bindings and the GUI.
CGame* GetGame();
void SetGame(CGame* game);

}  // namespace ove
