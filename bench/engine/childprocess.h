#pragma once
// Running a tool (ffmpeg, ffprobe) to its end and learning what it cost: its exit status, its CPU time
// (user plus system, its own threads included, from wait4) and its wall time. QProcess cannot give the
// CPU time of one child, so these children are started with posix_spawn and reaped here.
//
// Thread rules: any thread; the call blocks until the child has ended.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zelq::bench {

struct ChildRun {
    bool started = false;
    int exitCode = -1;  // -1 when it did not exit normally
    double cpuSeconds = 0;
    double wallSeconds = 0;
    long peakKilobytes = 0;  // the child's peak resident memory
    QByteArray output;  // standard output
    QByteArray errors;  // standard error
};

// Runs program (looked up on PATH) with args, standard input from /dev/null. Its two output streams go
// through files in scratchFolder, so that a chatty child never blocks on a full pipe.
ChildRun runChild(const QString& program, const QStringList& args, const QString& scratchFolder);

// CPU seconds (user plus system) this process has used so far, all its threads together.
double processCpuSeconds();

}  // namespace zelq::bench
