#include "web/browserprocess.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QQuickWindow>
#include <QtGlobal>

#include "web/bundledsite.h"

namespace zelq {

namespace {

void appendChromiumFlags(const QByteArray& flags) {
    QByteArray all = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!all.isEmpty()) all += ' ';
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", all + flags);
}

struct BrowserProcessSettings {
    BrowserProcessSettings() {
        // The engine shares GL contexts with the widgets; it must be told before the application starts.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        // The pages are drawn in software and painted like any widget. Drawn through GL, a view makes
        // Qt put its whole window on GL: the window's native window is replaced when the first page
        // loads, and every small repaint (a blinking caret) recomposes the whole window, which without a
        // GPU costs a few per cent of a core all the time.
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        registerBundledSiteScheme();
        // Chromium refuses to run its sandbox as root; a normal user keeps it.
        if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        }
        // The banner is plain HTML: no GPU process is worth its start-up and memory, and Chromium's own
        // log lines (GPU probing, the sandbox notice) are noise on the user's console.
        appendChromiumFlags("--disable-gpu --log-level=3");
        // Nor are the engine's start-up report and the pages' console messages for the user; the
        // environment's QT_LOGGING_RULES still win over these.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\njs=false"));
    }
};

const BrowserProcessSettings settings;

}  // namespace

void ensureBrowserProcessPrepared() {}

bool browsersLeftOut() { return qEnvironmentVariableIntValue("ZELQ_NO_BROWSER") == 1; }

}  // namespace zelq
