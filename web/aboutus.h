#pragma once
// TFrmVersion, the about window: a picture with the program's name, version and contact lines, and a
// link across the site line that opens the site root. Made on first use and kept. UI thread only.

#include <QLabel>
#include <QWidget>

#include "platform/skin.h"
#include "web/sitelinks.h"

namespace zelq {

class TFrmVersion : public QWidget {
    Q_OBJECT
public:
    // open hands the site address to the desktop (ShellOpen in the program).
    TFrmVersion(ShellOpener open, QWidget* owner = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    SkinButton* SpeedButton1 = nullptr;

    void Label1Click();
    void SpeedButton1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ShellOpener open_;
};

}  // namespace zelq
