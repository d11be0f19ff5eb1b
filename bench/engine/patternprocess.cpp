#include "patternprocess.h"

#include <QThread>

namespace zelq::bench {

namespace {

constexpr int kAnswerMs = 5000;

QByteArray nextLine(QProcess& process) {
    while (!process.canReadLine())
        if (!process.waitForReadyRead(kAnswerMs))
            return {};
    return process.readLine().trimmed();
}

}  // namespace

PatternProcess::PatternProcess(const QString& path) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(path, {});
    if (!process_.waitForStarted(kAnswerMs))
        return;
    ready_ = nextLine(process_) == "ready";
    // Let the window manager finish putting the window up full screen before anything is measured.
    if (ready_)
        QThread::msleep(500);
}

PatternProcess::~PatternProcess() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

long long PatternProcess::framesPainted() {
    if (process_.state() != QProcess::Running)
        return -1;
    process_.write("\n");
    process_.waitForBytesWritten(kAnswerMs);
    bool ok = false;
    const long long frames = nextLine(process_).toLongLong(&ok);
    return ok ? frames : -1;
}

}  // namespace zelq::bench
