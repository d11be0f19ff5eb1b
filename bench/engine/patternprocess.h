#pragma once
// The moving test pattern (engine_pattern) as a child process: started full screen, asked how many
// frames it has painted, and ended by closing its input. Its CPU time is its own, never the recorder's.
//
// Thread rules: UI thread only (it is a QProcess).

#include <QProcess>
#include <QString>

namespace zelq::bench {

class PatternProcess {
public:
    // Starts the program at `path` and waits until it has painted its first frame and the window
    // manager has had a moment to place it. isRunning() says whether that worked.
    explicit PatternProcess(const QString& path);
    // Closes its input, which ends it; kills it when it does not end at once.
    ~PatternProcess();
    PatternProcess(const PatternProcess&) = delete;
    PatternProcess& operator=(const PatternProcess&) = delete;

    bool isRunning() const { return process_.state() == QProcess::Running && ready_; }
    // Frames painted since start, or -1 when the pattern does not answer.
    long long framesPainted();

private:
    QProcess process_;
    bool ready_ = false;
};

}  // namespace zelq::bench
