// VIEW files: animation loops of cels packed into sheets.
#include "ViewTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ove::CView* view = new ove::CView("fuzz");
    view->AddRef();
    ove::fuzz::RunView(*view, data, size);
    view->Release();
    return 0;
}
