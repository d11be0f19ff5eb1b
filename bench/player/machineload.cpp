#include "machineload.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QList>

namespace zelq::bench {

namespace {

// The fields of /proc/PID/stat after the command in parentheses (which may hold spaces): field 3 (state)
// comes first.
QList<QByteArray> statFields(const QString& pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = f.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

QByteArray commandOf(const QString& pid) {
    QFile f(QStringLiteral("/proc/%1/comm").arg(pid));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

}  // namespace

double xServerCpuSeconds() {
    // The session script starts Xvfb, then this program: the server is our sibling.
    const QByteArray parent = QByteArray::number(getppid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit() || commandOf(pid) != "Xvfb")
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() < 13 || fields[1] != parent)
            continue;
        // utime and stime, fields 14 and 15.
        return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() < 3 ? QStringLiteral("?")
                             : QString::fromLatin1(fields[0] + ' ' + fields[1] + ' ' + fields[2]);
}

}  // namespace zelq::bench
