#include "bindings/Bindings.h"

#include "bindings/JSBuckets.h"
#include "bindings/JSColour.h"
#include "bindings/JSDrawingElement.h"
#include "bindings/JSFile.h"
#include "bindings/JSGUIElements.h"
#include "bindings/JSGame.h"
#include "bindings/JSImage.h"
#include "bindings/JSInput.h"
#include "bindings/JSModule.h"
#include "bindings/JSSound.h"
#include "bindings/JSSprite.h"
#include "bindings/JSText.h"
#include "bindings/JSTiles.h"
#include "bindings/JSViewConstructor.h"

namespace ove {

namespace {

// Started in this order, cleaned up in the same order. Each API module lands as one line here
// (plus the include of its header above).
const SScriptModule kModules[] = {
    {"modules", StartModuleAPI, StopModuleAPI},
    {"game", StartGameAPI, StopGameAPI},
    {"Colour", StartColourAPI, StopColourAPI},
    {"Buckets", StartBucketAPI, StopBucketAPI},
    {"DrawingElement", StartDrawingElementAPI, StopDrawingElementAPI},
    {"Image", StartImageAPI, StopImageAPI},
    {"input and files", StartInputAPI, StopInputAPI},
    {"FileReader and FileWriter", StartFileAPI, StopFileAPI},
    {"GUI", StartGUIAPI, StopGUIAPI},
    {"Sound", StartSoundAPI, StopSoundAPI},
    {"Sprite", StartSpriteAPI, StopSpriteAPI},
    {"substitution tables", StartTableAPI, StopTableAPI},
    {"Text", StartTextAPI, StopTextAPI},
    {"tile layers", StartTileAPI, StopTileAPI},
    {"View", StartViewAPI, StopViewAPI},
};

}  // namespace

std::span<const SScriptModule> ScriptApiModules() { return kModules; }

std::unique_ptr<IScriptRuntime> CreateScriptRuntime() { return std::make_unique<CScriptRuntime>(kModules); }

bool StartScriptAPI(IEngineServices* services) { return StartScriptHost(kModules, services); }

}  // namespace ove
