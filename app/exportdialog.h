#pragma once
// The small window that follows an export: how far it is (a share of the recording's time), how long it
// has run and about how long it still needs, and a button that cancels it. It does not block the main
// window. It owns the export's thread: closing it or destroying it cancels the export, whose partial file
// is then gone. UI thread only.

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

#include "media/exportjob.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace zelq {

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(QWidget* owner);
    ~ExportDialog() override;

    // Starts `request` and shows the window; `progress` hears each share done, `finished` the outcome once
    // the thread has ended.
    void start(const ExportRequest& request, std::function<void(const ExportOutcome&)> finished,
               std::function<void(double)> progress = {});
    bool busy() const { return job_ != nullptr; }
    // Cancels a running export; the outcome still arrives (as cancelled).
    void cancelExport();

    QLabel* LblExportFile = nullptr;
    QProgressBar* PbExport = nullptr;
    QLabel* LblExportTime = nullptr;
    QPushButton* BtnExportCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showProgress(double fraction);
    void showTimes();
    void finish(const ExportOutcome& outcome);

    std::unique_ptr<ExportJob> job_;
    std::function<void(const ExportOutcome&)> finished_;
    std::function<void(double)> progress_;
    QElapsedTimer elapsed_;
    QTimer tick_;
    double fraction_ = 0;
};

}  // namespace zelq
