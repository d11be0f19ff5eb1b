// The options dialog as the main window opens it.
#include "app/optdlg.h"
#include "app/screencam.h"
#include "capture/scrcam/scrcam.h"

namespace zelq {

void TFrmScreenCam::BtnRectSetClick() {
    // Rebuilt at every opening: the list holds the compressors that take the screen as it is now.
    CaptureEngine->EnumerateCodecs();
    if (!OptionDlg) OptionDlg = new TOptionDlg(CaptureEngine.get(), this);
    OptionDlg->RunOptionsDialog();
}

}  // namespace zelq
