#pragma once
// The message boxes of the recording worker. A box the worker asks for is shown on the UI thread while
// the worker waits, as with any Dialogs; but this wait can be abandoned: when the engine is being
// destroyed (the program is closing), the worker stops waiting, takes the cautious answer and finishes
// its file, even if the box is still up or has not been shown yet. Without that, closing the program
// while a box is up would leave the UI thread waiting for a worker that waits for the UI thread.

#include <QObject>
#include <functional>

#include "platform/dialogs.h"

namespace zelq {

class WorkerDialogs final : public Dialogs {
public:
    // Boxes are shown through target; context decides their lifetime (a box not yet shown when context
    // is destroyed is never shown); abandoned tells when to stop waiting.
    WorkerDialogs(Dialogs& target, QObject* context, std::function<bool()> abandoned);

protected:
    MsgAnswer messageBoxFromOtherThread(const QString& text, const QString& caption, MsgIcon icon,
                                        MsgButtons buttons, QWidget* owner) override;
    MsgAnswer doMessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                           QWidget* owner) override;
    QString doOpenFile(QWidget* owner, const QString& caption, const QString& folder,
                       const QString& filter) override;
    QString doSaveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                       const QString& defaultSuffix) override;
    QString doChooseFolder(QWidget* owner, const QString& caption, const QString& folder) override;

private:
    Dialogs& target_;
    QObject* context_;
    std::function<bool()> abandoned_;
};

}  // namespace zelq
