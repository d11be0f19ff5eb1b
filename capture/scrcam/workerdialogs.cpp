#include "workerdialogs.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace zelq {

namespace {

struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    MsgAnswer answer = MsgAnswer::Ok;
};

}  // namespace

WorkerDialogs::WorkerDialogs(Dialogs& target, QObject* context, std::function<bool()> abandoned)
    : target_(target), context_(context), abandoned_(std::move(abandoned)) {}

MsgAnswer WorkerDialogs::messageBoxFromOtherThread(const QString& text, const QString& caption, MsgIcon icon,
                                                   MsgButtons buttons, QWidget* owner) {
    const MsgAnswer cautious = buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    if (abandoned_()) return cautious;
    auto pending = std::make_shared<PendingAnswer>();
    // The box runs on the UI thread and touches only the target service and the shared answer, so it
    // may outlive the worker's wait.
    QMetaObject::invokeMethod(
        context_,
        [pending, &target = target_, text, caption, icon, buttons, owner] {
            const MsgAnswer answer = target.messageBox(text, caption, icon, buttons, owner);
            std::lock_guard lock(pending->mutex);
            pending->answer = answer;
            pending->done = true;
            pending->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    while (!pending->done) {
        if (abandoned_()) return cautious;
        pending->answered.wait_for(lock, std::chrono::milliseconds(20));
    }
    return pending->answer;
}

MsgAnswer WorkerDialogs::doMessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                                      QWidget* owner) {
    return target_.messageBox(text, caption, icon, buttons, owner);
}

QString WorkerDialogs::doOpenFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter) {
    return target_.openFile(owner, caption, folder, filter);
}

QString WorkerDialogs::doSaveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                                  const QString& defaultSuffix) {
    return target_.saveFile(owner, caption, folder, filter, defaultSuffix);
}

QString WorkerDialogs::doChooseFolder(QWidget* owner, const QString& caption, const QString& folder) {
    return target_.chooseFolder(owner, caption, folder);
}

}  // namespace zelq
