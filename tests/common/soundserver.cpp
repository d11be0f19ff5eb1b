#include "common/soundserver.h"

#include <QDeadlineTimer>

namespace zelq::test {

PrivateSoundServer::PrivateSoundServer() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(ZELQ_SOURCE_DIR "/scripts/sound-session.sh"), {QStringLiteral("--serve")});
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return;
    }
    // Generous: the machine may be busy building and testing beside us.
    QDeadlineTimer deadline(60000);
    QByteArray line;
    while (!deadline.hasExpired() && process_.state() == QProcess::Running && !line.endsWith('\n')) {
        process_.waitForReadyRead(200);
        line += process_.readLine();
    }
    if (!line.startsWith("PULSE_SERVER=")) {
        error_ = process_.state() == QProcess::Running
                     ? QStringLiteral("no answer from sound-session.sh")
                     : QStringLiteral("sound-session.sh exited with %1").arg(process_.exitCode());
        return;
    }
    qputenv("PULSE_SERVER", line.mid(int(sizeof "PULSE_SERVER=") - 1).trimmed());
    ok_ = true;
}

PrivateSoundServer::~PrivateSoundServer() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();  // the script tears the server down and ends
    if (!process_.waitForFinished(20000)) {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    qunsetenv("PULSE_SERVER");
}

}  // namespace zelq::test
