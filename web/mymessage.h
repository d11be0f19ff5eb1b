#pragma once
// TFrmMyMessage, the small borderless stay-on-top window in the bottom-right corner of the screen built
// to cycle through the site's ten message pages. It is made hidden with both timers stopped, and nothing
// in the program starts Timer1, so it stays hidden for the run. UI thread only.

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "platform/skin.h"
#include "web/webbrowser.h"

namespace zelq {

class TFrmMyMessage : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMyMessage(QWidget* owner = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* LblTitle = nullptr;
    QAbstractButton* SpeedButton1 = nullptr;
    QWidget* Panel1 = nullptr;
    WebBrowser* WebBrowser1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    int PageNumber = 0;  // the last page asked for, 1 to 10

    void FormCreate();
    void Timer1Timer();
    void WebBrowser1NavigateComplete2();
    void Timer2Timer();
    void SpeedButton1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace zelq
