#include "media/exportjob.h"

namespace zelq {

ExportJob::ExportJob(ExportRequest request, QObject* parent) : QThread(parent), request_(std::move(request)) {
    qRegisterMetaType<zelq::ExportOutcome>("zelq::ExportOutcome");
}

ExportJob::~ExportJob() {
    cancel();
    wait();
}

void ExportJob::run() {
    const ExportOutcome outcome =
        exportRecording(request_, cancel_, [this](double fraction) { emit progressed(fraction); });
    emit done(outcome);
}

}  // namespace zelq
