// Program start: the application, then the five windows in the order the program has always made them.
#include <QApplication>

#include "app/screencam.h"
#include "app/windows.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/quitsignals.h"

namespace {

// The application-wide exception hook: an unexpected failure in any handler is swallowed, never shown.
class ZelqApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            return false;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    ZelqApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZELQ屏幕录像助手"));
    QApplication::setApplicationVersion(QStringLiteral("1.2"));
    // While a recording runs the main window is hidden, so a message box may be the last window on
    // screen: closing it must not end the program. The main window's close ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    zelq::QtDialogs dialogs;
    zelq::AppServices services;
    services.dialogs = &dialogs;
    services.clock = &zelq::systemClock();

    zelq::TFrmScreenCam mainWindow(services);
    zelq::TFrmMyMessage message(&mainWindow);
    zelq::TFrmAreaSelect areaSelect(dialogs, &mainWindow);
    zelq::TFrmTool tool(&mainWindow);
    zelq::TFrmHelp help(&mainWindow);
    mainWindow.attachWindows(&message, &areaSelect, &tool, &help);

    // A session that ends the program closes it as the close box does: recording stopped, settings saved.
    zelq::handleTerminationSignals([&mainWindow] { mainWindow.close(); });

    mainWindow.showMaximized();
    return app.exec();
}
