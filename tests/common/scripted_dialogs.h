#pragma once
// The test double for Dialogs: records every call (with the thread it came from) and answers from a
// script. Unscripted message boxes answer OK (or No for a Yes/No box); unscripted pickers answer the
// empty text, as a cancelled picker does.

#include <QString>
#include <QStringList>
#include <QThread>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/dialogs.h"

namespace zelq::test {

struct DialogCall {
    enum class Kind { Message, OpenFile, SaveFile, ChooseFolder };
    Kind kind = Kind::Message;
    QString text;     // message text, or the picker's caption
    QString caption;  // message caption, or the picker's filter
    QString folder;   // pickers: the folder they opened at
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    bool onUiThread = true;  // where the double was actually run
};

class ScriptedDialogs final : public Dialogs {
public:
    void answerMessage(MsgAnswer answer) { push([&] { messageAnswers_.push_back(answer); }); }
    void answerPicker(const QString& path) { push([&] { pickerAnswers_.push_back(path); }); }
    // A multi-file picker's answer: the paths joined by '\n'.
    void answerPicker(const QStringList& paths) { answerPicker(paths.join(QLatin1Char('\n'))); }
    // Runs during the next message box, before it answers (to act while a modal box is up).
    void onNextMessage(std::function<void()> action) { push([&] { messageActions_.push_back(std::move(action)); }); }

    std::vector<DialogCall> calls() const;
    std::vector<QString> messages() const;  // the texts of the message boxes, in order
    void clear();

protected:
    MsgAnswer doMessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                           QWidget* owner) override;
    QString doOpenFile(QWidget* owner, const QString& caption, const QString& folder,
                       const QString& filter) override;
    QString doSaveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                       const QString& defaultSuffix) override;
    QStringList doOpenFiles(QWidget* owner, const QString& caption, const QString& folder,
                            const QString& filter) override;
    QString doChooseFolder(QWidget* owner, const QString& caption, const QString& folder) override;

private:
    template <typename Fn>
    void push(Fn&& fn) {
        std::lock_guard lock(mutex_);
        fn();
    }
    QString nextPickerAnswer(DialogCall call);

    mutable std::mutex mutex_;
    std::vector<DialogCall> calls_;
    std::deque<MsgAnswer> messageAnswers_;
    std::deque<QString> pickerAnswers_;
    std::deque<std::function<void()>> messageActions_;
};

}  // namespace zelq::test
