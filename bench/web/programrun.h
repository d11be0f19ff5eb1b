#pragma once
// One run of the real program for the bench: copied into a temporary folder with a temporary HOME (a
// returning user, so the help window stays closed), on the bench's X display. It measures the program
// as the user's machine sees it: the program's process and every process it started (the browser
// engine's helpers).

#include <QElapsedTimer>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace zelq::bench {

// CPU and memory of a process and all its descendants.
struct TreeUsage {
    double cpuSeconds = 0;  // user + system, including reaped children
    double pssMB = 0;       // proportional set size: shared pages split between the processes using them
    int processes = 0;
};

class ProgramRun {
public:
    // withBrowser false sets ZELQ_NO_BROWSER=1.
    explicit ProgramRun(bool withBrowser);
    ~ProgramRun();

    // Starts the program and waits for its main window to be mapped; the seconds it took, or nothing.
    std::optional<double> startAndWaitForMainWindow();
    // Seconds since the program was started.
    double elapsed() const { return clock_.elapsed() / 1000.0; }
    TreeUsage usage() const;

    // Clicks the centre of a main-window button, found by its object name, as a person would.
    bool clickMainButton(const char* objectName);
    bool mainWindowVisible() const;
    void pressEscape();
    QString recordingFolder() const { return dir_.filePath("home/ZelqWare/ScreenREC/"); }
    // Closes the program as its close box does; true when it ended with status 0.
    bool close();

private:
    QTemporaryDir dir_;
    QProcess program_;
    QElapsedTimer clock_;
    QString windowId_;
};

// Stream length (positions, empty ones included) and stored packets of an AVI file, read by ffprobe.
struct AviCount {
    int positions = 0;
    int packets = 0;
};
std::optional<AviCount> probeAvi(const QString& path);

}  // namespace zelq::bench
