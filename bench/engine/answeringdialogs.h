#pragma once
// The bench's Dialogs: nobody sits at the bench, so every box is answered at once (OK, or No to a
// question, so that a failing compressor is reported rather than silently replaced by the default one)
// and its text is kept for the report. UI thread only, as Dialogs calls its overrides there.

#include <QStringList>

#include "platform/dialogs.h"

namespace zelq::bench {

class AnsweringDialogs final : public Dialogs {
public:
    // The boxes shown since the last call, as "caption: text"; the list starts again empty.
    QStringList takeMessages() { return std::exchange(messages_, {}); }

protected:
    MsgAnswer doMessageBox(const QString& text, const QString& caption, MsgIcon, MsgButtons buttons,
                           QWidget*) override {
        messages_ << caption + QStringLiteral(": ") + text;
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
    QString doOpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString doSaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString doChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }

private:
    QStringList messages_;
};

}  // namespace zelq::bench
