#include "control/busservice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "control/scriptedexport.h"
#include "control/scriptedrecording.h"

namespace zelq::control {

BusService::BusService(ScriptedRecording& recording, ScriptedExport& exporter, QObject* parent)
    : QObject(parent), recording_(recording), exporter_(exporter) {
    connect(&recording_, &ScriptedRecording::started, this, &BusService::Started);
    connect(&recording_, &ScriptedRecording::paused, this, &BusService::Paused);
    connect(&recording_, &ScriptedRecording::resumed, this, &BusService::Resumed);
    connect(&recording_, &ScriptedRecording::finished, this, &BusService::Finished);
    connect(&recording_, &ScriptedRecording::failed, this, &BusService::Failed);
    connect(&exporter_, &ScriptedExport::progressed, this, &BusService::ExportProgress);
    connect(&exporter_, &ScriptedExport::finished, this, &BusService::ExportFinished);
}

bool BusService::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qWarning("没有会话总线，脚本和桌面快捷键不能控制本程序");
        return false;
    }
    // Not queued and never taken over: a second copy leaves the name with the first.
    const auto reply = bus.interface()->registerService(QString::fromLatin1(kBusName),
                                                        QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        qWarning("另一个 ZELQ屏幕录像助手 已经占用会话总线名称 %s，脚本和快捷键控制的是那一个", kBusName);
        return false;
    }
    return bus.registerObject(QString::fromLatin1(kBusPath), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

void BusService::answer(const Answer& answer) {
    if (answer.refusal == Refusal::None || !calledFromDBus()) return;
    const char* name = answer.refusal == Refusal::BadRequest         ? kErrorBadRequest
                       : answer.refusal == Refusal::Busy             ? kErrorBusy
                       : answer.refusal == Refusal::NothingRecording ? kErrorNotRecording
                                                                     : kErrorCannotStart;
    sendErrorReply(QString::fromLatin1(name), answer.text);
}

void BusService::record(bool area, const QRect& rect, const QVariantMap& options) {
    RecordRequest request;
    request.area = area;
    request.rect = rect;
    if (const QString why = optionsFromMap(options, request.options); !why.isEmpty()) {
        answer({Refusal::BadRequest, why});
        return;
    }
    answer(recording_.start(request));
}

void BusService::RecordFull(const QVariantMap& options) { record(false, {}, options); }

void BusService::RecordArea(int x, int y, int width, int height, const QVariantMap& options) {
    record(true, QRect(x, y, width, height), options);
}

void BusService::Stop() { answer(recording_.stop()); }

void BusService::Pause() { answer(recording_.pause()); }

void BusService::Resume() { answer(recording_.resume()); }

void BusService::TogglePause() {
    const bool paused = recording_.status().value(QStringLiteral("state")) == QLatin1String("paused");
    answer(paused ? recording_.resume() : recording_.pause());
}

QVariantMap BusService::Status() { return recording_.status(); }

QString BusService::Export(const QString& file, const QString& format, const QVariantMap& options) {
    QString target;
    const Answer a = exporter_.start(file, format, options, target);
    answer(a);
    return a.refusal == Refusal::None ? target : QString();
}

}  // namespace zelq::control
