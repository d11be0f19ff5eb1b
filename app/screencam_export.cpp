// The main window's export of recordings to files to share (the recordings list's pop-up menu).
#include <QFileInfo>

#include "app/exportdialog.h"
#include "app/screencam.h"
#include "media/mediasource.h"
#include "platform/dialogs.h"
#include "platform/guard.h"

namespace zelq {

namespace {

// A GIF stores every picture whole: past this length the file runs to many megabytes and the user is
// asked first.
constexpr double kLongGifSeconds = 30;

double recordingSeconds(const QString& path) {
    std::unique_ptr<MediaSource> source;
    if (MediaSource::open(QFile::encodeName(path).toStdString(), source) != MediaOpen::Ok)
        return 0;
    return av_q2d(source->timeBase()) * static_cast<double>(source->length());
}

}  // namespace

void TFrmScreenCam::MnExportMP4Click() {
    ExportRecordingAs(ExportFormat::Mp4);
}
void TFrmScreenCam::MnExportWebMClick() {
    ExportRecordingAs(ExportFormat::WebM);
}
void TFrmScreenCam::MnExportGIFClick() {
    ExportRecordingAs(ExportFormat::Gif);
}

void TFrmScreenCam::ExportRecordingAs(ExportFormat format) {
    const QListWidgetItem* item = LbVideoList->currentItem();
    if (!item || CurrentFolder.isEmpty()) {
        dialogs().messageBox(QStringLiteral("请选择『录像列表』中一个视频文件"), {}, MsgIcon::None,
                             MsgButtons::Ok, this);
        return;
    }
    if (ExportRunning()) {
        dialogs().messageBox(QStringLiteral("已有一个导出正在进行，请等它完成或先取消它。"), {},
                             MsgIcon::None, MsgButtons::Ok, this);
        exportDialog_->raise();
        return;
    }
    const QString path = CurrentFolder + item->text();
    if (format == ExportFormat::Gif) {
        const double seconds = recordingSeconds(path);
        if (seconds > kLongGifSeconds &&
            dialogs().messageBox(QStringLiteral("这个录像长 %1 秒。GIF 没有视频压缩，文件会很大，导出也较慢；"
                                                "分享长录像请用 MP4 或 WebM。仍然导出为 GIF 吗？")
                                     .arg(static_cast<int>(seconds)),
                                 {}, MsgIcon::Question, MsgButtons::YesNo, this) != MsgAnswer::Yes)
            return;
    }
    StartExport({path, format, {}}, [this](const ExportOutcome& outcome) {
        swallowErrors([this, &outcome] { ExportFinished(outcome); });
    });
}

bool TFrmScreenCam::ExportRunning() const {
    return exportDialog_ && exportDialog_->busy();
}

void TFrmScreenCam::StartExport(const ExportRequest& request, std::function<void(const ExportOutcome&)> finished,
                                std::function<void(double)> progress) {
    if (!exportDialog_)
        exportDialog_ = new ExportDialog(this);
    exportDialog_->start(request, std::move(finished), std::move(progress));
}

void TFrmScreenCam::ExportFinished(const ExportOutcome& outcome, bool ask) {
    switch (outcome.kind) {
        case ExportOutcome::Kind::Done:
            LblHint->setText(QStringLiteral("已导出：%1").arg(outcome.path));
            if (ask && !outcome.message.isEmpty())
                dialogs().messageBox(outcome.message, {}, MsgIcon::None, MsgButtons::Ok, this);
            break;
        case ExportOutcome::Kind::Cancelled:
            LblHint->setText(outcome.message);
            break;
        case ExportOutcome::Kind::Failed:
            LblHint->setText(outcome.message);
            if (ask)
                dialogs().messageBox(outcome.message, {}, MsgIcon::None, MsgButtons::Ok, this);
            break;
    }
}

void TFrmScreenCam::CancelExport() {
    if (exportDialog_)
        exportDialog_->cancelExport();
}

}  // namespace zelq
