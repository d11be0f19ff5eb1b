#include "programrun.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QThread>

#include "app/screencam.h"
#include "platform/dialogs.h"

namespace zelq::bench {

namespace {

const QByteArray kMainTitle = QByteArrayLiteral("ZELQ屏幕录像助手1.2");

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

// The first viewable window the window manager lists under the main window's title.
xcb_window_t findMainWindow(xcb_connection_t* c, xcb_window_t root, xcb_atom_t clients, xcb_atom_t name,
                            xcb_atom_t utf8) {
    xcb_get_property_reply_t* list =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, clients, XCB_ATOM_WINDOW, 0, 1024), nullptr);
    xcb_window_t found = XCB_WINDOW_NONE;
    if (!list) return found;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list));
    const int count = xcb_get_property_value_length(list) / 4;
    for (int i = 0; i < count && found == XCB_WINDOW_NONE; ++i) {
        xcb_get_property_reply_t* title =
            xcb_get_property_reply(c, xcb_get_property(c, 0, windows[i], name, utf8, 0, 256), nullptr);
        if (title && QByteArray(static_cast<const char*>(xcb_get_property_value(title)),
                                xcb_get_property_value_length(title)) == kMainTitle) {
            xcb_get_window_attributes_reply_t* attrs =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windows[i]), nullptr);
            if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE) found = windows[i];
            free(attrs);
        }
        free(title);
    }
    free(list);
    return found;
}

// Fields 14 to 17 of /proc/PID/stat (utime, stime, cutime, cstime), after the command in parentheses.
double cpuSecondsOf(const QString& pid) {
    QFile f("/proc/" + pid + "/stat");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15) return 0;
    const double ticks = fields[11].toDouble() + fields[12].toDouble() + fields[13].toDouble() + fields[14].toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double pssMBOf(const QString& pid) {
    QFile f("/proc/" + pid + "/smaps_rollup");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("Pss:")) return line.mid(4).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

QString parentOf(const QString& pid) {
    QFile f("/proc/" + pid + "/stat");
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray stat = f.readAll();
    return QString::fromLatin1(stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1));
}

}  // namespace

ProgramRun::ProgramRun(bool withBrowser) {
    QDir().mkpath(dir_.filePath("home"));
    QFile::copy(QStringLiteral(ZELQ_PROGRAM_PATH), dir_.filePath("zelq-screenrec"));
    QFile::setPermissions(dir_.filePath("zelq-screenrec"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(dir_.filePath("defualt.ini"));
    if (settings.open(QIODevice::WriteOnly)) settings.write("[default]\nIsFirtRunSoftware=0\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir_.filePath("home"));
    if (!withBrowser) env.insert("ZELQ_NO_BROWSER", "1");
    program_.setProcessEnvironment(env);
    program_.setWorkingDirectory(dir_.path());
    program_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ProgramRun::~ProgramRun() {
    if (program_.state() != QProcess::NotRunning) {
        program_.kill();
        program_.waitForFinished(10000);
    }
}

std::optional<double> ProgramRun::startAndWaitForMainWindow() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t clients = atom(c, "_NET_CLIENT_LIST");
    const xcb_atom_t name = atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");

    clock_.start();
    program_.start(dir_.filePath("zelq-screenrec"), {});
    std::optional<double> shown;
    while (clock_.elapsed() < 30000) {
        if (const xcb_window_t w = findMainWindow(c, root, clients, name, utf8); w != XCB_WINDOW_NONE) {
            shown = elapsed();
            windowId_ = QString::number(w);
            break;
        }
        QThread::msleep(5);
    }
    xcb_disconnect(c);
    return shown;
}

TreeUsage ProgramRun::usage() const {
    const QString top = QString::number(program_.processId());
    QMap<QString, QString> parents;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        if (pid.front().isDigit()) parents[pid] = parentOf(pid);
    }
    TreeUsage usage;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        QString p = it.key();
        while (!p.isEmpty() && p != top && p != "1" && p != "0") p = parents.value(p);
        if (p != top) continue;
        usage.cpuSeconds += cpuSecondsOf(it.key());
        usage.pssMB += pssMBOf(it.key());
        ++usage.processes;
    }
    return usage;
}

bool ProgramRun::clickMainButton(const char* objectName) {
    QSize client;
    for (const QString& line : runTool("xdotool", {"getwindowgeometry", "--shell", windowId_}).split('\n')) {
        if (line.startsWith("WIDTH=")) client.setWidth(line.mid(6).toInt());
        if (line.startsWith("HEIGHT=")) client.setHeight(line.mid(7).toInt());
    }
    // Where the button sits in a main window of that size, laid out the same way in this process.
    QtDialogs dialogs;
    QTemporaryDir settings;
    AppServices services;
    services.dialogs = &dialogs;
    services.settingsPath = settings.filePath("defualt.ini");
    services.shellOpen = [](const QString&) {};
    TFrmScreenCam layout(services);
    layout.setAttribute(Qt::WA_DontShowOnScreen);
    layout.resize(client);
    layout.show();
    auto* button = layout.findChild<QWidget*>(QString::fromLatin1(objectName));
    if (!button) return false;
    const QPoint at = button->mapTo(&layout, button->rect().center());
    layout.hide();
    runTool("xdotool", {"mousemove", "--window", windowId_, QString::number(at.x()), QString::number(at.y()),
                        "click", "1"});
    return true;
}

bool ProgramRun::mainWindowVisible() const {
    return !runTool("xdotool", {"search", "--onlyvisible", "--name", QString::fromUtf8(kMainTitle)}).isEmpty();
}

void ProgramRun::pressEscape() { runTool("xdotool", {"key", "Escape"}); }

bool ProgramRun::close() {
    program_.terminate();
    return program_.waitForFinished(30000) && program_.exitStatus() == QProcess::NormalExit &&
           program_.exitCode() == 0;
}

std::optional<AviCount> probeAvi(const QString& path) {
    const QString out = runTool("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                            "-show_entries", "stream=nb_frames,nb_read_packets", "-of", "json", path});
    const QJsonArray streams = QJsonDocument::fromJson(out.toUtf8()).object().value("streams").toArray();
    if (streams.isEmpty()) return std::nullopt;
    const QJsonObject s = streams.first().toObject();
    return AviCount{s.value("nb_frames").toString().toInt(), s.value("nb_read_packets").toString().toInt()};
}

}  // namespace zelq::bench
