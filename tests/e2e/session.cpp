#include "session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

namespace zelq::e2e {

namespace {

// The program under test sits beside this test program's build folder.
QString programPath() { return QStringLiteral(ZELQ_PROGRAM_PATH); }

int runQuiet(const QString& program, const QStringList& args, const QProcessEnvironment& env, QString* out,
             int timeoutMs) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

Session::Session(const Desktop& desktop) : desktop_(desktop) {
    if (!dir_.isValid()) return;
    QDir().mkpath(home());
    QDir().mkpath(programDir());
    if (!QFile::copy(programPath(), programDir() + "/zelq-screenrec")) return;
    QFile::setPermissions(programDir() + "/zelq-screenrec", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(settingsPath());
    if (!settings.open(QIODevice::WriteOnly) || settings.write("[default]\nIsFirtRunSoftware=0\n") < 0) return;
    settings.close();

    // A private X server; it tells its display number on a pipe once it accepts clients.
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setProcessChannelMode(QProcess::SeparateChannels);
    const QString size = QStringLiteral("%1x%2x24").arg(desktop.screen.width()).arg(desktop.screen.height());
    // -noreset: the monitors and resources set below must outlive the tools that set them.
    xvfb_->start("Xvfb", {"-displayfd", "1", "-noreset", "-screen", "0", size, "-nolisten", "tcp",
                          "+extension", "MIT-SHM"});
    if (!xvfb_->waitForStarted(10000)) return;
    QElapsedTimer timer;
    timer.start();
    QByteArray number;
    while (!number.contains('\n') && timer.elapsed() < 20000) {
        xvfb_->waitForReadyRead(200);
        number += xvfb_->readAllStandardOutput();
    }
    if (!number.contains('\n')) return;
    display_ = ":" + QString::fromLatin1(number.trimmed());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    // The monitors and the scale resource are set while the server has no client but these, before the
    // window manager starts: it arranges its desktop by the monitors it finds.
    for (int i = 0; i < desktop.monitors.size(); ++i) {
        const QRect m = desktop.monitors[i];
        const QString geometry = QStringLiteral("%1/%2x%3/%4+%5+%6")
                                     .arg(m.width())
                                     .arg(m.width() * 254 / 960)
                                     .arg(m.height())
                                     .arg(m.height() * 254 / 960)
                                     .arg(m.x())
                                     .arg(m.y());
        if (runQuiet("xrandr",
                     {"--setmonitor", QStringLiteral("MONITOR%1").arg(i + 1), geometry,
                      i == 0 ? "screen" : "none"},
                     env, nullptr, 10000) != 0)
            return;
    }
    if (desktop.xftDpi > 0) {
        QProcess xrdb;
        xrdb.setProcessEnvironment(env);
        xrdb.start("xrdb", {"-merge"});
        xrdb.write(QStringLiteral("Xft.dpi: %1\n").arg(desktop.xftDpi).toLatin1());
        xrdb.closeWriteChannel();
        if (!xrdb.waitForFinished(10000) || xrdb.exitCode() != 0)
            return;
    }
    wm_ = std::make_unique<QProcess>();
    wm_->setProcessEnvironment(env);
    wm_->setStandardOutputFile(QProcess::nullDevice());
    wm_->setStandardErrorFile(QProcess::nullDevice());
    wm_->start("openbox", {});
    if (!wm_->waitForStarted(10000)) return;
    // The window manager is ready when it has claimed the screen.
    while (timer.elapsed() < 20000) {
        QString out;
        runQuiet("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, env, &out, 5000);
        if (out.contains("window id")) {
            ok_ = true;
            break;
        }
        QThread::msleep(100);
    }
}

Session::~Session() {
    if (program_ && program_->state() != QProcess::NotRunning) {
        program_->kill();
        program_->waitForFinished(5000);
    }
    for (auto* p : {wm_.get(), xvfb_.get()}) {
        if (p && p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(2000);
        }
    }
}

bool Session::startProgram() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("HOME", home());
    env.insert("XDG_RUNTIME_DIR", dir_.path());
    env.insert("XDG_CONFIG_DIRS", dir_.filePath("xdg"));
    for (const char* scale : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                              "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_USE_PHYSICAL_DPI"})
        env.remove(scale);
    for (const QString& pair : desktop_.programEnvironment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(env);
    program_->setWorkingDirectory(programDir());
    program_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program_->start(programDir() + "/zelq-screenrec", {});
    if (!program_->waitForStarted(10000)) return false;
    return waitForWindow(QStringLiteral("ZELQ屏幕录像助手1.2"), 20000).has_value();
}

bool Session::closeProgram() {
    if (!program_) return false;
    program_->terminate();  // SIGTERM: the program closes as its close box does
    return program_->waitForFinished(20000) && program_->exitCode() == 0;
}

void Session::killProgram() {
    if (!program_) return;
    program_->kill();
    program_->waitForFinished(5000);
}

bool Session::programRunning() const { return program_ && program_->state() == QProcess::Running; }

int Session::run(const QString& program, const QStringList& args, QString* out, int timeoutMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    return runQuiet(program, args, env, out, timeoutMs);
}

QString Session::xdotool(const QStringList& args) {
    QString out;
    run("xdotool", args, &out);
    return out;
}

std::optional<QString> Session::waitForWindow(const QString& name, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    do {
        const QString ids = xdotool({"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(name) + "$"});
        if (!ids.isEmpty()) return ids.split('\n').first();
        QThread::msleep(100);
    } while (timer.elapsed() < timeoutMs);
    return std::nullopt;
}

bool Session::windowVisible(const QString& name) {
    return !xdotool({"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(name) + "$"}).isEmpty();
}

QPoint Session::clientOrigin(const QString& window) {
    // xwininfo, not xdotool: xdotool counts the frame of a reparented window twice.
    QString out;
    run("xwininfo", {"-id", window}, &out);
    QPoint origin;
    for (const QString& line : out.split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith("Absolute upper-left X:")) origin.setX(t.section(':', 1).trimmed().toInt());
        if (t.startsWith("Absolute upper-left Y:")) origin.setY(t.section(':', 1).trimmed().toInt());
    }
    return origin;
}

QMargins Session::frameExtents(const QString& window) {
    QString out;
    run("xprop", {"-id", window, "_NET_FRAME_EXTENTS"}, &out);
    const QStringList numbers = out.section('=', 1).split(',', Qt::SkipEmptyParts);
    if (numbers.size() != 4) return {};
    return QMargins(numbers[0].trimmed().toInt(), numbers[2].trimmed().toInt(), numbers[1].trimmed().toInt(),
                    numbers[3].trimmed().toInt());
}

void Session::clickIn(const QString& window, QPoint at) {
    const QPoint p = clientOrigin(window) + at;
    xdotool({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())});
    QThread::msleep(100);
    xdotool({"click", "1"});
}

void Session::key(const QString& keys) { xdotool({"key", "--clearmodifiers", keys}); }

void Session::type(const QString& text) { xdotool({"type", "--delay", "20", text}); }

bool Session::screenshot(const QString& path) { return run("import", {"-window", "root", path}) == 0; }

std::optional<ProbeResult> Session::probe(const QString& aviPath) {
    QString out;
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (runQuiet("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                             "stream=codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_packets",
                             "-of", "json", aviPath},
                 env, &out, 60000) != 0) {
        return std::nullopt;
    }
    const QJsonArray streams = QJsonDocument::fromJson(out.toUtf8()).object().value("streams").toArray();
    if (streams.isEmpty()) return std::nullopt;
    const QJsonObject s = streams.first().toObject();
    ProbeResult r;
    r.codecTag = s.value("codec_tag_string").toString();
    r.width = s.value("width").toInt();
    r.height = s.value("height").toInt();
    r.frameRate = s.value("r_frame_rate").toString();
    r.positions = s.value("nb_frames").toString().toInt();
    r.packets = s.value("nb_read_packets").toString().toInt();
    QString errors;
    QProcess decode;
    decode.start("ffmpeg", {"-v", "error", "-i", aviPath, "-f", "null", "-"});
    decode.waitForFinished(120000);
    errors = QString::fromUtf8(decode.readAllStandardError()).trimmed();
    r.decodesCleanly = decode.exitStatus() == QProcess::NormalExit && decode.exitCode() == 0 && errors.isEmpty();
    return r;
}

QImage Session::decodedFrame(const QString& aviPath, int index) {
    QTemporaryDir dir;
    const QString png = dir.filePath("frame.png");
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (runQuiet("ffmpeg", {"-v", "error", "-i", aviPath, "-vf", QString("select=eq(n\\,%1)").arg(index), "-frames:v",
                            "1", "-y", png},
                 env, nullptr, 60000) != 0) {
        return {};
    }
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

}  // namespace zelq::e2e
