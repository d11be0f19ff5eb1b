#include "app/exportdialog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelq {

namespace {

QString clockText(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ExportDialog::ExportDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FrmExport"));
    setModal(false);
    setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    LblExportFile = new QLabel(this);
    LblExportFile->setObjectName(QStringLiteral("LblExportFile"));
    PbExport = new QProgressBar(this);
    PbExport->setObjectName(QStringLiteral("PbExport"));
    PbExport->setRange(0, 1000);
    LblExportTime = new QLabel(this);
    LblExportTime->setObjectName(QStringLiteral("LblExportTime"));
    BtnExportCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnExportCancel->setObjectName(QStringLiteral("BtnExportCancel"));
    layout->addWidget(LblExportFile);
    layout->addWidget(PbExport);
    layout->addWidget(LblExportTime);
    layout->addWidget(BtnExportCancel, 0, Qt::AlignRight);
    connect(BtnExportCancel, &QPushButton::clicked, this, &ExportDialog::cancelExport);
    tick_.setInterval(500);
    connect(&tick_, &QTimer::timeout, this, &ExportDialog::showTimes);
}

ExportDialog::~ExportDialog() = default;  // the job cancels and waits for its thread

void ExportDialog::start(const ExportRequest& request, std::function<void(const ExportOutcome&)> finished,
                         std::function<void(double)> progress) {
    finished_ = std::move(finished);
    progress_ = std::move(progress);
    const QString format = exportFormatName(request.format);
    setWindowTitle(QStringLiteral("导出为 %1").arg(format));
    LblExportFile->setText(
        QStringLiteral("正在把 %1 导出为 %2").arg(QFileInfo(request.recording).fileName(), format));
    BtnExportCancel->setEnabled(true);
    showProgress(0);
    job_ = std::make_unique<ExportJob>(request);
    // Queued: the job's signals come from its worker thread and are handled here, on the UI thread.
    connect(job_.get(), &ExportJob::progressed, this, &ExportDialog::showProgress, Qt::QueuedConnection);
    connect(job_.get(), &ExportJob::done, this, &ExportDialog::finish, Qt::QueuedConnection);
    elapsed_.start();
    tick_.start();
    job_->start();
    show();
    raise();
}

void ExportDialog::cancelExport() {
    if (!job_)
        return;
    job_->cancel();
    BtnExportCancel->setEnabled(false);
    LblExportTime->setText(QStringLiteral("正在取消…"));
}

void ExportDialog::showProgress(double fraction) {
    fraction_ = fraction;
    PbExport->setValue(static_cast<int>(fraction * 1000));
    PbExport->setFormat(QStringLiteral("%1%").arg(fraction * 100, 0, 'f', 1));
    showTimes();
    if (progress_)
        progress_(fraction);
}

void ExportDialog::showTimes() {
    if (!job_ || !BtnExportCancel->isEnabled())
        return;
    const qint64 ms = elapsed_.isValid() ? elapsed_.elapsed() : 0;
    QString text = QStringLiteral("已用 %1").arg(clockText(ms));
    // Until a twentieth is done the rate says too little to guess from.
    if (fraction_ >= 0.05)
        text += QStringLiteral("，还需约 %1")
                    .arg(clockText(static_cast<qint64>(ms * (1 - fraction_) / fraction_)));
    LblExportTime->setText(text);
}

void ExportDialog::finish(const ExportOutcome& outcome) {
    tick_.stop();
    job_.reset();  // its thread has ended: done is its last word
    hide();
    if (finished_)
        finished_(outcome);
}

void ExportDialog::closeEvent(QCloseEvent* event) {
    cancelExport();
    event->accept();
}

}  // namespace zelq
