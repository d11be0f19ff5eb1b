#pragma once
// An export on a thread of its own, for the window: it hears the progress and the outcome as signals
// on its own thread (queued), and can cancel at any time. The job never touches a widget.
//
// start(), cancel() and the destructor: UI thread (cancel() is also safe from any thread). The signals
// are emitted by the worker; connected with the default (queued) connection they arrive on the UI thread.

#include <QThread>
#include <atomic>

#include "media/exporter.h"

namespace zelq {

class ExportJob : public QThread {
    Q_OBJECT
public:
    explicit ExportJob(ExportRequest request, QObject* parent = nullptr);
    // Cancels and waits for the worker: its partial file is gone when this returns. The wait is short (the
    // worker looks at the flag after every picture) and cannot deadlock, as the worker never waits for the
    // UI thread.
    ~ExportJob() override;

    const ExportRequest& request() const { return request_; }
    void cancel() { cancel_.store(true); }

signals:
    // The share of the recording's time done, 0 to 1.
    void progressed(double fraction);
    void done(const zelq::ExportOutcome& outcome);

protected:
    void run() override;

private:
    const ExportRequest request_;
    std::atomic<bool> cancel_{false};
};

}  // namespace zelq
