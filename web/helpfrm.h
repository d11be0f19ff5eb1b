#pragma once
// TFrmHelp, the window that shows the site's help document. It loads the document anew each time it
// goes from hidden to shown; showing it while it is on screen only brings it to the front. UI thread only.

#include <QWidget>

#include "platform/skin.h"
#include "web/webbrowser.h"

namespace zelq {

class TFrmHelp : public QWidget {
    Q_OBJECT
public:
    explicit TFrmHelp(QWidget* owner = nullptr);

    WebBrowser* WebBrowser1 = nullptr;
    QWidget* Panel2 = nullptr;
    SkinButton* SpeedButton1 = nullptr;

    void FormShow();
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace zelq
