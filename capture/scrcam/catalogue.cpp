// The compressor catalogue: the installed compressors that take the screen's frames.
#include "capture/scrcam/scrcam.h"
#include "capture/vfw/compman.h"

namespace zelq {

void TScreenCam::EnumerateCodecs() {
    Frame probe = GrabFrame(0, 0, 320, 200);
    const auto* probeHeader = probe ? reinterpret_cast<const BitmapInfoHeader*>(probe.data()) : nullptr;
    CodecCount = 0;
    for (DWORD i = 0; i < 32; ++i) {
        ICINFO& entry = CodecList[static_cast<std::size_t>(CodecCount)];
        if (!ICInfo(ICTYPE_VIDEO, i, &entry)) continue;
        HIC hic = ICOpen(entry.fccType, entry.fccHandler, ICMODE_QUERY);
        if (!hic) continue;
        if (probeHeader && ICCompressQuery(hic, probeHeader, nullptr) == ICERR_OK) {
            ICGetInfo(hic, &entry, sizeof(ICINFO));
            ++CodecCount;
        }
        ICClose(hic);
        if (CodecCount == static_cast<int>(CodecList.size())) break;
    }
    FreeFrame(probe);
}

void TScreenCam::SelectCodec(int index) {
    CodecIndex = index;
    if (index >= 0 && index < CodecCount) CodecFourCC = CodecList[static_cast<std::size_t>(index)].fccHandler;
}

namespace {

// The compressor's boxes are shown through the program's Dialogs, owned by the window that asked.
ICParentWindow parentFor(Dialogs& dialogs, QWidget* parent) {
    ICParentWindow window;
    window.showMessage = [&dialogs, parent](const std::string& caption, const std::string& text) {
        dialogs.messageBox(QString::fromStdString(text), QString::fromStdString(caption), MsgIcon::Information,
                           MsgButtons::Ok, parent);
    };
    return window;
}

}  // namespace

void TScreenCam::CodecAbout(std::uint8_t index, QWidget* parent) {
    if (index >= CodecCount) return;
    HIC hic = ICOpen(CodecList[index].fccType, CodecList[index].fccHandler, ICMODE_QUERY);
    if (!hic) return;
    ICAbout(hic, parentFor(dialogs_, parent));
    ICClose(hic);
}

void TScreenCam::CodecConfigure(std::uint8_t index, QWidget* parent) {
    if (index >= CodecCount) return;
    HIC hic = ICOpen(CodecList[index].fccType, CodecList[index].fccHandler, ICMODE_QUERY);
    if (!hic) return;
    ICConfigure(hic, parentFor(dialogs_, parent));
    ICClose(hic);
}

TScreenCam::CodecAbilities TScreenCam::CodecQuery(std::uint8_t index) {
    CodecAbilities abilities;
    if (index >= CodecCount) return abilities;
    HIC hic = ICOpen(CodecList[index].fccType, CodecList[index].fccHandler, ICMODE_QUERY);
    if (!hic) return abilities;
    abilities.about = ICQueryAbout(hic);
    abilities.configure = ICQueryConfigure(hic);
    ICClose(hic);
    return abilities;
}

}  // namespace zelq
