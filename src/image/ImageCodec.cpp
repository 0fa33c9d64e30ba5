#include "image/ImageCodec.h"

namespace ove {

void CFrameList::Add(std::unique_ptr<CBitmapInterface> bitmap) {
    if (m_frames.empty() && bitmap) {
        m_width = bitmap->Width();
        m_height = bitmap->Height();
    }
    m_frames.push_back(SFrame{std::move(bitmap), 0, 0});
}

const char* CImageCodec::GeneralErrorText(u32 general) {
    switch (general) {
    case 0: return "The operation completed successfully.";
    case 1: return "Insufficient memory.";
    case 2: return "Could not read from input device.";
    case 3: return "Could not write to output device.";
    case 4: return "Invalid header.";
    case 5: return "Invalid file format.";
    case 6: return "Cannot handle file format.";
    case 7: return "File ends prematurely.";
    case 8: return "Could not create bitmap.";
    default: return "No error information available.";
    }
}

const char* CImageCodec::GetErrorText() const { return GeneralErrorText(m_error >> 16); }

void CImageCodec::ReadExact(CDataBin& source, void* data, u32 count) {
    if (count && source.Read(data, count) != count) Raise(kCodecTruncated);
}

void CImageCodec::WriteExact(CDataBin& destination, const void* data, u32 count) {
    if (count && destination.Write(data, count) != count) Raise(kCodecWriteError);
}

std::unique_ptr<CFrameList> CImageCodec::LoadImage(CDataBin* source) {
    if (m_inBaseCall) {  // neither Load nor LoadImage was overridden
        m_error = CodecErrorValue(kCodecUnsupported);
        return nullptr;
    }
    m_inBaseCall = true;
    std::unique_ptr<CBitmapInterface> bitmap = Load(source);
    m_inBaseCall = false;
    if (!bitmap) return nullptr;
    auto frames = std::make_unique<CFrameList>();
    frames->Add(std::move(bitmap));
    return frames;
}

std::unique_ptr<CBitmapInterface> CImageCodec::Load(CDataBin* source) {
    if (m_inBaseCall) {
        m_error = CodecErrorValue(kCodecUnsupported);
        return nullptr;
    }
    m_inBaseCall = true;
    std::unique_ptr<CFrameList> frames = LoadImage(source);
    m_inBaseCall = false;
    if (!frames || frames->Count() == 0) return nullptr;
    return std::move((*frames)[0].bitmap);
}

bool CImageCodec::SaveImage(const CFrameList& frames, CDataBin* destination) {
    return Save(frames.Count() ? frames[0].bitmap.get() : nullptr, destination);
}

bool CImageCodec::Save(const CBitmapInterface*, CDataBin*) {
    m_error = CodecErrorValue(kCodecUnsupported);
    return false;
}

}  // namespace ove
