#include "SoundManager.h"

#include "io/DataBin.h"

namespace ove {

CSound* CSoundManager::CreateSound(CDataBin* source) {
    SetErrorText(nullptr);
    try {
        if (!IsActive()) throw SSoundFailure{sound_text::kNotActive};
        if (!source) throw SSoundFailure{sound_text::kInvalidSource};
        u32 size = source->GetSize();
        if (size > kMaxFileBytes) throw SSoundFailure{sound_text::kInvalidSource};
        std::vector<std::uint8_t> bytes(size);
        source->Seek(0);
        bytes.resize(source->Read(bytes.data(), size));
        return Build(ClassifySound(bytes.data(), bytes.size()), bytes);
    } catch (const SSoundFailure& failure) {
        SetErrorText(failure.text);
    } catch (const std::bad_alloc&) {
        SetErrorText(sound_text::kInvalidSource);
    }
    return nullptr;
}

}  // namespace ove
