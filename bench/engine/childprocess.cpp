#include "childprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <vector>

extern char** environ;

namespace zelq::bench {

namespace {

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double cpuOf(const rusage& usage) {
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// posix_spawn's file actions, released however the spawn ends.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

QByteArray readAndRemove(const QString& path) {
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    QFile::remove(path);
    return bytes;
}

}  // namespace

ChildRun runChild(const QString& program, const QStringList& args, const QString& scratchFolder) {
    ChildRun run;
    const QByteArray outPath = (scratchFolder + QStringLiteral("/child.out")).toLocal8Bit();
    const QByteArray errPath = (scratchFolder + QStringLiteral("/child.err")).toLocal8Bit();
    FileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(actions.get(), 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& a : args) words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0)
        return run;
    run.started = true;
    int status = 0;
    rusage usage{};
    pid_t reaped = 0;
    do {
        reaped = wait4(pid, &status, 0, &usage);
    } while (reaped < 0 && errno == EINTR);
    run.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    if (reaped == pid) {
        run.cpuSeconds = cpuOf(usage);
        run.peakKilobytes = usage.ru_maxrss;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    run.output = readAndRemove(QString::fromLocal8Bit(outPath));
    run.errors = readAndRemove(QString::fromLocal8Bit(errPath));
    return run;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuOf(usage);
}

}  // namespace zelq::bench
