#include "control/exportverb.h"

#include <unistd.h>

#include <QEventLoop>
#include <QFileInfo>
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "control/recordrequest.h"
#include "control/verbs.h"
#include "media/exportjob.h"
#include "platform/quitsignals.h"

namespace zelq::control {

namespace {

void printTo(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// On a terminal one line that counts up; into a log (a script's stderr) a line every tenth, so the log
// stays short.
class ProgressLine {
public:
    explicit ProgressLine(ExportFormat format)
        : name_(exportFormatName(format)), terminal_(::isatty(STDERR_FILENO) == 1) {}
    void show(double fraction) {
        const int percent = static_cast<int>(std::floor(100 * fraction));
        if (percent == shown_ || (!terminal_ && shown_ >= 0 && percent / 10 == shown_ / 10))
            return;
        shown_ = percent;
        printTo(stderr, QStringLiteral("%1导出 %2：%3%%4")
                            .arg(terminal_ ? QStringLiteral("\r") : QString(), name_)
                            .arg(percent)
                            .arg(terminal_ ? QString() : QStringLiteral("\n")));
    }
    // Ends the terminal's counting line before anything else is written.
    void end() {
        if (terminal_ && shown_ >= 0)
            printTo(stderr, QStringLiteral("\n"));
        shown_ = -1;
    }

private:
    const QString name_;
    const bool terminal_;
    int shown_ = -1;
};

}  // namespace

int runExport(const ExportRequest& request) {
    ExportRequest absolute = request;
    absolute.recording = QFileInfo(request.recording).absoluteFilePath();
    if (!request.target.isEmpty()) {
        if (const QString why = checkOutputFolder(request.target); !why.isEmpty()) {
            printTo(stderr, why + QLatin1Char('\n'));
            return kExitBadArguments;
        }
        absolute.target = QFileInfo(request.target).absoluteFilePath();
    }

    // Standard error is the script's: our progress and reasons, not the libraries' notes (libvpx greets
    // with its version). Their errors still come through.
    av_log_set_level(AV_LOG_ERROR);
    ProgressLine line(request.format);
    ExportOutcome outcome;
    QEventLoop loop;
    ExportJob job(absolute);
    QObject::connect(&job, &ExportJob::progressed, &loop, [&line](double f) { line.show(f); });
    QObject::connect(&job, &ExportJob::done, &loop, [&](const ExportOutcome& o) {
        outcome = o;
        loop.exit();
    });
    // Ctrl+C and a session's end cancel: the partial file is removed before the process ends.
    handleTerminationSignals([&job] { job.cancel(); });
    job.start();
    loop.exec();
    job.wait();
    line.end();

    if (!outcome.message.isEmpty())
        printTo(stderr, outcome.message + QLatin1Char('\n'));
    if (outcome.kind != ExportOutcome::Kind::Done)
        return kExitCannotStart;
    printTo(stdout, outcome.path + QLatin1Char('\n'));
    return kExitDone;
}

}  // namespace zelq::control
