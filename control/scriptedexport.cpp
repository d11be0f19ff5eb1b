#include "control/scriptedexport.h"

#include <QFileInfo>
#include <QPointer>
#include <cmath>
#include <memory>

#include "app/screencam.h"
#include "media/exportnames.h"

namespace zelq::control {

namespace {

// The request of a bus call, or the text of its refusal. Paths must be whole: the caller's working
// folder is not this process's.
QString requestFromBus(const QString& file, const QString& format, const QVariantMap& options,
                       ExportRequest& request) {
    const std::optional<ExportFormat> kind = exportFormatFromText(format);
    if (!kind)
        return QStringLiteral("导出格式只能是 mp4、webm 或 gif：%1").arg(format);
    request.format = *kind;
    if (!QFileInfo(file).isAbsolute())
        return QStringLiteral("录像文件要写完整路径（以 / 开头）：%1").arg(file);
    if (!QFileInfo(file).isFile())
        return QStringLiteral("找不到录像文件：%1").arg(file);
    request.recording = file;
    for (auto it = options.begin(); it != options.end(); ++it) {
        if (it.key() != QLatin1String("output"))
            return QStringLiteral("不认识的导出选项：%1（只有 output）").arg(it.key());
        const QString output = it.value().toString();
        if (!QFileInfo(output).isAbsolute())
            return QStringLiteral("输出文件要写完整路径（以 / 开头）：%1").arg(output);
        if (const QString why = checkOutputFolder(output); !why.isEmpty())
            return why;
        if (QFileInfo::exists(output))
            return QStringLiteral("“%1”已经存在，导出不会替换它。").arg(output);
        request.target = output;
    }
    return {};
}

}  // namespace

ScriptedExport::ScriptedExport(TFrmScreenCam& window, const ScriptedRecording& recording, QObject* parent)
    : QObject(parent), window_(window), recording_(recording) {}

Answer ScriptedExport::start(const QString& file, const QString& format, const QVariantMap& options,
                             QString& target) {
    ExportRequest request;
    if (const QString why = requestFromBus(file, format, options, request); !why.isEmpty())
        return {Refusal::BadRequest, why};
    // A recording wants the disk and both cores, and its start would cancel the export at once.
    if (recording_.busy())
        return {Refusal::Busy, QStringLiteral("正在录像，录像结束后才能导出。")};
    if (window_.ExportRunning())
        return {Refusal::Busy, QStringLiteral("已有一个导出正在进行，请等它完成或先取消它。")};

    target = request.target.isEmpty() ? exportTargetPath(request.recording, request.format) : request.target;
    // The window's export outlives this object when the program ends; the guard keeps its callbacks off.
    const QPointer<ScriptedExport> self(this);
    auto tenths = std::make_shared<int>(0);
    window_.StartExport(
        request,
        [self, file, this](const ExportOutcome& outcome) {
            if (!self)
                return;
            window_.ExportFinished(outcome, false);
            const bool done = outcome.kind == ExportOutcome::Kind::Done;
            emit finished(file, done ? outcome.path : QString(), done ? QString() : outcome.message);
        },
        [self, file, tenths, this](double fraction) {
            // A signal a tenth: a script's log, and the bus, need no more.
            const int now = static_cast<int>(std::floor(fraction * 10));
            if (!self || now <= *tenths)
                return;
            *tenths = now;
            emit progressed(file, fraction);
        });
    return Answer::ok();
}

}  // namespace zelq::control
