#pragma once
// An end-to-end session: a private X server with openbox, and the real program copied into a temporary
// folder with HOME in a temporary folder, driven by xdotool as a person would drive it. Every session
// has its own X server, so sessions neither see nor disturb each other's keys and windows.

#include <QImage>
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace zelq::e2e {

struct ProbeResult {
    QString codecTag;    // FourCC as ffprobe prints it
    int width = 0;
    int height = 0;
    QString frameRate;   // r_frame_rate, e.g. "10/1"
    int positions = 0;   // stream length, skipped positions included
    int packets = 0;     // frames actually stored
    bool decodesCleanly = false;
};

// The desktop a session's X server shows.
struct Desktop {
    QSize screen{1920, 1080};
    // Monitors side by side on the one X screen, as xrandr --setmonitor makes them; the first is the
    // primary one. None: the screen is one monitor.
    QList<QRect> monitors;
    int xftDpi = 0;  // the desktop's Xft.dpi resource; 0 for none
    // NAME=value pairs for the program (QT_SCALE_FACTOR=2, say); the Qt scale variables of the test's
    // own environment are never passed on.
    QStringList programEnvironment;
};

class Session {
public:
    explicit Session(const Desktop& desktop = {});
    ~Session();

    bool ok() const { return ok_; }
    const QString& display() const { return display_; }
    QString home() const { return dir_.filePath("home"); }
    QString programDir() const { return dir_.filePath("program"); }
    QString recordingFolder() const { return home() + "/ZelqWare/ScreenREC/"; }
    // The program's settings file. A session starts as a returning user (not a first run, which would put
    // the help window over the main window); a test removes the file to see a first start.
    QString settingsPath() const { return programDir() + "/defualt.ini"; }

    // Starts the program and waits for its main window.
    bool startProgram();
    // Closes the program as its close box does and waits for it to end.
    bool closeProgram();
    bool programRunning() const;
    // Ends the program at once (SIGKILL), as a crash or a power cut would.
    void killProgram();

    // xdotool with arguments; its standard output, trimmed.
    QString xdotool(const QStringList& args);
    // The id of the first visible window whose name matches, or none within the time limit.
    std::optional<QString> waitForWindow(const QString& name, int timeoutMs = 10000);
    bool windowVisible(const QString& name);
    // The screen position of a window's client area, and the widths of the frame the window manager
    // draws round it (left, right, top, bottom).
    QPoint clientOrigin(const QString& window);
    QMargins frameExtents(const QString& window);
    // Clicks at a point of a window's client area, as a person would with the mouse.
    void clickIn(const QString& window, QPoint at);
    void key(const QString& keys);
    void type(const QString& text);
    bool screenshot(const QString& path);

    // A command run with this session's display.
    int run(const QString& program, const QStringList& args, QString* out = nullptr, int timeoutMs = 30000);

    static std::optional<ProbeResult> probe(const QString& aviPath);
    // The picture of the index-th stored frame, as ffmpeg decodes it (a null image if it cannot).
    static QImage decodedFrame(const QString& aviPath, int index);

private:
    QTemporaryDir dir_;
    Desktop desktop_;
    QString display_;
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> wm_;
    std::unique_ptr<QProcess> program_;
    bool ok_ = false;
};

}  // namespace zelq::e2e
