#pragma once
// The one door to every modal box the program shows: message boxes and the file and folder pickers.
// The product installs QtDialogs; tests install a scripted double that records every call and answers
// from a script, so that every message a window shows can be checked without a person.
//
// Thread rules: the public calls are thread-safe. A call from another thread is carried to the UI thread
// (the thread of QCoreApplication) with a blocking queued call and the caller waits for the answer. That
// cannot deadlock as long as the UI thread never blocks waiting for that caller; the capture engine keeps
// pumping events while it waits for its worker, see TScreenCam.

#include <QString>
#include <QStringList>

class QWidget;

namespace zelq {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The application title ("ZELQ屏幕录像助手"), the caption of the program's own message boxes.
    static QString applicationTitle();

    // A modal box. An empty caption means the application title.
    MsgAnswer messageBox(const QString& text, const QString& caption = QString(), MsgIcon icon = MsgIcon::None,
                         MsgButtons buttons = MsgButtons::Ok, QWidget* owner = nullptr);
    // Pickers; each answers the empty text when the user cancels.
    QString openFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter);
    QString saveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                     const QString& defaultSuffix);
    // A picker of several files, in the order the user chose them; empty when cancelled.
    QStringList openFiles(QWidget* owner, const QString& caption, const QString& folder, const QString& filter);
    QString chooseFolder(QWidget* owner, const QString& caption, const QString& folder);

protected:
    // How a message box asked for on another thread reaches the UI thread. By default the caller waits
    // until the box has been answered there; a service can choose a wait it is able to abandon.
    virtual MsgAnswer messageBoxFromOtherThread(const QString& text, const QString& caption, MsgIcon icon,
                                                MsgButtons buttons, QWidget* owner);

    // Always called on the UI thread.
    virtual MsgAnswer doMessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                   MsgButtons buttons, QWidget* owner) = 0;
    virtual QString doOpenFile(QWidget* owner, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
    virtual QString doSaveFile(QWidget* owner, const QString& caption, const QString& folder,
                               const QString& filter, const QString& defaultSuffix) = 0;
    // By default one file, through doOpenFile; services with a real multi-file picker override it.
    virtual QStringList doOpenFiles(QWidget* owner, const QString& caption, const QString& folder,
                                    const QString& filter);
    virtual QString doChooseFolder(QWidget* owner, const QString& caption, const QString& folder) = 0;
};

// The real boxes: QMessageBox and QFileDialog.
class QtDialogs final : public Dialogs {
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
};

}  // namespace zelq
