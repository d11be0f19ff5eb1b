#include "scripted_dialogs.h"

#include <QCoreApplication>

namespace zelq::test {

namespace {
bool onUiThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}
}  // namespace

std::vector<DialogCall> ScriptedDialogs::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<QString> ScriptedDialogs::messages() const {
    std::lock_guard lock(mutex_);
    std::vector<QString> texts;
    for (const DialogCall& call : calls_) {
        if (call.kind == DialogCall::Kind::Message) texts.push_back(call.text);
    }
    return texts;
}

void ScriptedDialogs::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    messageAnswers_.clear();
    pickerAnswers_.clear();
    messageActions_.clear();
}

MsgAnswer ScriptedDialogs::doMessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                        MsgButtons buttons, QWidget*) {
    std::function<void()> action;
    MsgAnswer answer = buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({DialogCall::Kind::Message, text, caption, {}, icon, buttons, onUiThread()});
        if (!messageAnswers_.empty()) {
            answer = messageAnswers_.front();
            messageAnswers_.pop_front();
        }
        if (!messageActions_.empty()) {
            action = std::move(messageActions_.front());
            messageActions_.pop_front();
        }
    }
    if (action) action();
    return answer;
}

QString ScriptedDialogs::nextPickerAnswer(DialogCall call) {
    std::lock_guard lock(mutex_);
    call.onUiThread = onUiThread();
    calls_.push_back(std::move(call));
    if (pickerAnswers_.empty()) return {};
    QString answer = pickerAnswers_.front();
    pickerAnswers_.pop_front();
    return answer;
}

QString ScriptedDialogs::doOpenFile(QWidget*, const QString& caption, const QString& folder, const QString& filter) {
    return nextPickerAnswer({DialogCall::Kind::OpenFile, caption, filter, folder, MsgIcon::None, MsgButtons::Ok, true});
}

QStringList ScriptedDialogs::doOpenFiles(QWidget* owner, const QString& caption, const QString& folder,
                                         const QString& filter) {
    const QString answer = doOpenFile(owner, caption, folder, filter);
    return answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('\n'));
}

QString ScriptedDialogs::doSaveFile(QWidget*, const QString& caption, const QString& folder, const QString& filter,
                                    const QString&) {
    return nextPickerAnswer({DialogCall::Kind::SaveFile, caption, filter, folder, MsgIcon::None, MsgButtons::Ok, true});
}

QString ScriptedDialogs::doChooseFolder(QWidget*, const QString& caption, const QString& folder) {
    return nextPickerAnswer(
        {DialogCall::Kind::ChooseFolder, caption, {}, folder, MsgIcon::None, MsgButtons::Ok, true});
}

}  // namespace zelq::test
