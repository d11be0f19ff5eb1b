// Program start: the application, then the five windows in the order the program has always made them.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/appinfo.h"
#include "app/commandline.h"
#include "app/screencam.h"
#include "app/windows.h"
#include "control/busservice.h"
#include "control/exportverb.h"
#include "control/scriptedexport.h"
#include "control/scriptedrecording.h"
#include "control/verbs.h"
#include "platform/clock.h"
#include "platform/desktopsession.h"
#include "platform/dialogs.h"
#include "platform/qtchinese.h"
#include "platform/quitsignals.h"
#include "web/sitelinks.h"

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
    // Answered before the application object exists: that one needs a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = zelq::answerCommandLine(arguments)) {
        std::fputs(answer->text.toLocal8Bit().constData(), stdout);
        return answer->exitCode;
    }
    const zelq::control::Verb verb = zelq::control::parseVerb(arguments);
    if (!verb.error.isEmpty()) {
        std::fputs((verb.error + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return zelq::control::kExitBadArguments;
    }
    // An export needs neither a display nor the running copy: it is made here, whatever else runs.
    if (verb.kind == zelq::control::Verb::Kind::Export) {
        QCoreApplication app(argc, argv);
        return zelq::control::runExport(verb.exportRequest);
    }
    // A verb for the running copy needs no display: it is only a call on the session bus.
    if (verb.kind != zelq::control::Verb::Kind::None && !verb.starts()) {
        QCoreApplication app(argc, argv);
        bool noCopy = false;
        return zelq::control::sendVerb(verb, noCopy);
    }

    // On a Wayland desktop the windows stay X11 clients (Xwayland): a Wayland client cannot place its own
    // windows, and the area window, the frame window and the tool window must sit where they are put.
    if (zelq::isWaylandSession())
        qputenv("QT_QPA_PLATFORM", "xcb");
    ZelqApplication app(argc, argv);
    const zelq::QtChinese chinese;
    // Qt's own file dialogs, which speak the program's language; a desktop's native one would follow the
    // user's locale instead.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication::setApplicationName(zelq::programTitle());
    QApplication::setApplicationVersion(zelq::programVersion());
    // The desktop pairs the windows with the installed entry and its icon by this name.
    QGuiApplication::setDesktopFileName(zelq::programId());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zelq-screenrec.png")));
    zelq::SetSiteRoot(zelq::ParseCommandLine(arguments).siteRoot);
    // While a recording runs the main window is hidden, so a message box may be the last window on
    // screen: closing it must not end the program. The main window's close ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    if (verb.starts()) {
        bool noCopy = false;
        const int sent = zelq::control::sendVerb(verb, noCopy);
        if (!noCopy) return sent;
    }

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

    // Scripts and desktop shortcuts reach this copy over the session bus, unless another copy has the name.
    zelq::control::ScriptedRecording scripted(mainWindow);
    zelq::control::ScriptedExport exporter(mainWindow, scripted);
    zelq::control::BusService bus(scripted, exporter);
    bus.publish();
    // No copy was running: this one makes the recording the verb asks for, with the window hidden, and
    // ends with its file.
    if (verb.starts()) {
        const int code = zelq::control::runHeadless(verb, scripted);
        mainWindow.close();
        return code;
    }

    // A session that ends the program closes it as the close box does: recording stopped, settings saved.
    zelq::handleTerminationSignals([&mainWindow] { mainWindow.close(); });

    mainWindow.showMaximized();
    return app.exec();
}
