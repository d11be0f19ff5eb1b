#include "control/verbs.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>

#include "control/busservice.h"
#include "control/scriptedrecording.h"
#include "platform/quitsignals.h"

namespace zelq::control {

namespace {

// How long a running copy has to answer a call: one that does not is taken as hanging.
constexpr int kCallTimeoutMs = 5000;

void printErr(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void printOut(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// The options of a start verb that take a value, to the key of the bus's dictionary.
const QStringList kValueOptions = {QStringLiteral("duration"), QStringLiteral("countdown"), QStringLiteral("sound"),
                                   QStringLiteral("compressor"), QStringLiteral("interval"), QStringLiteral("rate"),
                                   QStringLiteral("output")};

int exitCodeFor(const QString& errorName) {
    if (errorName == QLatin1String(kErrorNotRecording)) return kExitNothingToStop;
    if (errorName == QLatin1String(kErrorBadRequest)) return kExitBadArguments;
    return kExitCannotStart;
}

void setKind(Verb& verb, Verb::Kind kind, const QString& argument) {
    if (verb.kind != Verb::Kind::None && verb.kind != kind)
        verb.error = QStringLiteral("一次只能给一个动作：%1").arg(argument);
    verb.kind = kind;
}

// The running copy, called with plain messages that give up after kCallTimeoutMs. (A QDBusInterface asks
// the copy to describe itself when it is made, with the bus's own timeout of 25 s, so a copy that hangs
// held every verb for half a minute before the call's own timeout even began.)
class Copy {
public:
    explicit Copy(const QDBusConnection& bus) : bus_(bus) {}
    template <typename... Args>
    QDBusMessage call(const QString& method, const Args&... args) const {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kBusName), QString::fromLatin1(kBusPath),
                                                              QString::fromLatin1(kBusInterface), method);
        message.setArguments({QVariant::fromValue(args)...});
        return bus_.call(message, QDBus::Block, kCallTimeoutMs);
    }

private:
    QDBusConnection bus_;
};

// Waits for the end of the recording a start verb asked for: the Finished or Failed signal of the copy.
class FinishWaiter : public QObject {
    Q_OBJECT
public:
    int exitCode = kExitDone;
    QEventLoop loop;
public slots:
    void finished(const QString& file, double, int, int) {
        if (!file.isEmpty()) printOut(file);
        loop.exit();
    }
    void failed(const QString& reason) {
        printErr(reason);
        exitCode = kExitCannotStart;
        loop.exit();
    }
};

}  // namespace

Verb parseVerb(const QStringList& arguments) {
    Verb verb;
    QVariantMap options;
    QStringList unknown;
    QString format;
    bool hasFormat = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--")) break;
        const qsizetype eq = argument.indexOf(QLatin1Char('='));
        const QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2, eq < 0 ? -1 : eq - 2) : QString();
        const QString value = eq < 0 ? QString() : argument.mid(eq + 1);
        if (name == QLatin1String("record-full")) {
            setKind(verb, Verb::Kind::RecordFull, argument);
        } else if (name == QLatin1String("record-area")) {
            setKind(verb, Verb::Kind::RecordArea, argument);
            static const QRegularExpression rect(QStringLiteral("^(-?\\d+),(-?\\d+),(\\d+)x(\\d+)$"));
            const auto m = rect.match(value.trimmed());
            if (!m.hasMatch()) {
                verb.error = QStringLiteral("录像区域的格式是 X,Y,宽x高，例如 100,100,640x480：%1").arg(value);
            } else {
                verb.request.rect = QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                                          m.captured(4).toInt());
            }
        } else if (name == QLatin1String("stop")) {
            setKind(verb, Verb::Kind::Stop, argument);
        } else if (name == QLatin1String("pause")) {
            setKind(verb, Verb::Kind::Pause, argument);
        } else if (name == QLatin1String("resume")) {
            setKind(verb, Verb::Kind::Resume, argument);
        } else if (name == QLatin1String("toggle-pause")) {
            setKind(verb, Verb::Kind::TogglePause, argument);
        } else if (name == QLatin1String("status")) {
            setKind(verb, Verb::Kind::Status, argument);
        } else if (name == QLatin1String("export")) {
            setKind(verb, Verb::Kind::Export, argument);
            if (value.isEmpty()) verb.error = QStringLiteral("选项 --export 需要一个录像文件，例如 --export=1.avi");
            verb.exportRequest.recording = value;
        } else if (name == QLatin1String("format")) {
            format = value;
            hasFormat = true;
        } else if (name == QLatin1String("wait")) {
            verb.wait = true;
        } else if (kValueOptions.contains(name)) {
            if (eq < 0) verb.error = QStringLiteral("选项 --%1 需要一个值，例如 --%1=值").arg(name);
            options.insert(name, value);
        } else if (name != QLatin1String("site-root")) {
            unknown << argument;
        }
    }
    if (verb.kind == Verb::Kind::None) {
        // Options of a start without a start: the window starts as always, so they would be lost.
        if (!options.isEmpty() || verb.wait) verb.error = QStringLiteral("录像选项要和 --record-full 或 --record-area 一起用");
        if (hasFormat) verb.error = QStringLiteral("选项 --format 要和 --export 一起用");
        return verb;
    }
    if (hasFormat && verb.kind != Verb::Kind::Export && verb.error.isEmpty())
        verb.error = QStringLiteral("选项 --format 要和 --export 一起用");
    if (!verb.error.isEmpty()) return verb;
    if (!unknown.isEmpty()) {
        verb.error = QStringLiteral("不认识的选项：%1（zelq-screenrec --help 列出所有选项）").arg(unknown.join(QLatin1Char(' ')));
        return verb;
    }
    if (verb.kind == Verb::Kind::Export) {
        // An export always waits for its file; --output names it, and no recording option applies.
        const std::optional<ExportFormat> f = exportFormatFromText(format);
        if (!f)
            verb.error = QStringLiteral("导出格式要用 --format=mp4、--format=webm 或 --format=gif 给出%1")
                             .arg(format.isEmpty() ? QString() : QStringLiteral("：") + format);
        else
            verb.exportRequest.format = *f;
        verb.exportRequest.target = options.take(QStringLiteral("output")).toString();
        if (!options.isEmpty())
            verb.error = QStringLiteral("导出不接受录像选项：--%1").arg(options.firstKey());
        return verb;
    }
    if (!verb.starts() && (!options.isEmpty() || verb.wait)) {
        verb.error = QStringLiteral("录像选项只能和 --record-full 或 --record-area 一起用");
        return verb;
    }
    verb.request.area = verb.kind == Verb::Kind::RecordArea;
    if (verb.request.area && (verb.request.rect.width() <= 0 || verb.request.rect.height() <= 0))
        verb.error = QStringLiteral("录像区域的宽和高必须大于 0：%1").arg(arguments.filter(QStringLiteral("--record-area")).value(0));
    else
        verb.error = optionsFromMap(options, verb.request.options);
    return verb;
}

int sendVerb(const Verb& verb, bool& noCopy) {
    noCopy = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool running = bus.isConnected() && bus.interface()->isServiceRegistered(QString::fromLatin1(kBusName));
    if (!running) {
        if (verb.starts()) {
            noCopy = true;
            return kExitDone;
        }
        if (verb.kind == Verb::Kind::Status) {
            printOut(QStringLiteral("state=idle"));
            return kExitDone;
        }
        printErr(QStringLiteral("ZELQ屏幕录像助手 没有在运行，没有可以停止或暂停的录像。"));
        return kExitNothingToStop;
    }
    const Copy copy(bus);
    FinishWaiter waiter;
    if (verb.starts() && verb.wait) {
        bus.connect(QString::fromLatin1(kBusName), QString::fromLatin1(kBusPath), QString::fromLatin1(kBusInterface),
                    QStringLiteral("Finished"), &waiter, SLOT(finished(QString, double, int, int)));
        bus.connect(QString::fromLatin1(kBusName), QString::fromLatin1(kBusPath), QString::fromLatin1(kBusInterface),
                    QStringLiteral("Failed"), &waiter, SLOT(failed(QString)));
    }
    QDBusMessage reply;
    const QVariantMap options = optionsToMap(verb.request.options);
    const QRect& r = verb.request.rect;
    switch (verb.kind) {
    case Verb::Kind::RecordFull: reply = copy.call(QStringLiteral("RecordFull"), options); break;
    case Verb::Kind::RecordArea:
        reply = copy.call(QStringLiteral("RecordArea"), r.x(), r.y(), r.width(), r.height(), options);
        break;
    case Verb::Kind::Stop: reply = copy.call(QStringLiteral("Stop")); break;
    case Verb::Kind::Pause: reply = copy.call(QStringLiteral("Pause")); break;
    case Verb::Kind::Resume: reply = copy.call(QStringLiteral("Resume")); break;
    case Verb::Kind::TogglePause: reply = copy.call(QStringLiteral("TogglePause")); break;
    case Verb::Kind::Status: reply = copy.call(QStringLiteral("Status")); break;
    case Verb::Kind::None:
    case Verb::Kind::Export: return kExitBadArguments;  // never sent: main() makes the export itself
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const bool ours = reply.errorName().startsWith(QString::fromLatin1(kBusInterface) + QStringLiteral(".Error."));
        printErr(ours ? reply.errorMessage()
                      : QStringLiteral("正在运行的 ZELQ屏幕录像助手 没有回答（%1）").arg(reply.errorMessage()));
        return ours ? exitCodeFor(reply.errorName()) : kExitCannotStart;
    }
    if (verb.kind == Verb::Kind::Status) {
        const QVariantMap status = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        for (auto it = status.begin(); it != status.end(); ++it) printOut(it.key() + QLatin1Char('=') + it.value().toString());
    }
    if (verb.starts() && verb.wait) {
        waiter.loop.exec();
        return waiter.exitCode;
    }
    return kExitDone;
}

int runHeadless(const Verb& verb, ScriptedRecording& recording) {
    int exitCode = kExitDone;
    QEventLoop loop;
    QObject::connect(&recording, &ScriptedRecording::finished, &loop, [&](const QString& file) {
        if (verb.wait && !file.isEmpty()) printOut(file);
        loop.exit();
    });
    QObject::connect(&recording, &ScriptedRecording::failed, &loop, [&](const QString& reason) {
        printErr(reason);
        exitCode = kExitCannotStart;
        loop.exit();
    });
    // Ctrl+C and a session's end finish the file, and the process ends when it is.
    handleTerminationSignals([&recording] { recording.stop(); });
    const Answer started = recording.start(verb.request);
    if (started.refusal != Refusal::None) {
        printErr(started.text);
        return started.refusal == Refusal::BadRequest ? kExitBadArguments : kExitCannotStart;
    }
    loop.exec();
    return exitCode;
}

}  // namespace zelq::control

#include "verbs.moc"
