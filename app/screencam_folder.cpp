// The recording folder and the names of new recordings: the path box, the folder dialog, the check
// made before a recording starts and the next free number.
#include <QFileInfo>
#include <QKeyEvent>
#include <limits>

#include "app/dirselect.h"
#include "app/recordingnames.h"
#include "app/screencam.h"
#include "convert/filelist.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "platform/paths.h"
#include "platform/textnum.h"

namespace zelq {

namespace {

const QString kIllegalPath = QStringLiteral("非法路径，请重新设置一个路径。");

}  // namespace

QString TFrmScreenCam::folderFromPathBox() {
    const QString text = EdtRECPath->text();
    // Normalising the empty text would give "/", and the list, delete and rename would act on the root.
    return text.trimmed().isEmpty() ? QString() : NormaliseFolder(text);
}

QString TFrmScreenCam::ValidateRecordingFolder(const QString& result) {
    try {
        const QString text = EdtRECPath->text();
        if (text.trimmed().isEmpty()) {
            CurrentFolder.clear();
            dialogs().messageBox(kIllegalPath, {}, MsgIcon::None, MsgButtons::Ok, this);
            EdtRECPath->setFocus();
            return result;
        }
        CurrentFolder = NormaliseFolder(text);
        const QString drive = DrivePart(text);
        if (DriveExists(drive)) {
            if (!FolderExists(CurrentFolder)) CreateFolderPath(CurrentFolder);
            return CurrentFolder;
        }
        dialogs().messageBox(QStringLiteral("磁盘%1不存在，请重选择一个路径。").arg(drive), {}, MsgIcon::None,
                             MsgButtons::Ok, this);
        EdtRECPath->setFocus();
        return result;
    } catch (...) {
        dialogs().messageBox(QStringLiteral("请选择一个合法的文件夹名称"), {}, MsgIcon::None, MsgButtons::Ok, this);
        EdtRECPath->setFocus();
        return QString();
    }
}

QString TFrmScreenCam::MakeAutoRecordingPath(const QString& result) {
    const QString text = EdtRECPath->text();
    if (!FolderExists(text) && CreateFolderPath(text) == CreateFolderResult::Refused) {
        dialogs().messageBox(QStringLiteral("请输入一个合法路径名"), {}, MsgIcon::None, MsgButtons::Ok, this);
        EdtRECPath->setFocus();
        return result;
    }
    const QString folder = NormaliseFolder(text);
    QStringList files;
    ListFolderFiles(folder, QStringLiteral("avi"), files);
    // 64 bits, so that a file named after the largest 32-bit number cannot make the next one negative.
    long long highest = 0;
    for (const QString& path : files) {
        QString stem = QFileInfo(path).fileName();
        stem.remove(QStringLiteral(".avi"), Qt::CaseSensitive);
        if (const auto number = parseInteger64(stem); number && *number > highest) highest = *number;
    }
    if (highest == std::numeric_limits<long long>::max()) highest = 0;  // no number after it: start again
    CurrentFileName = QStringLiteral("%1.%2").arg(highest + 1).arg(QStringLiteral("avi"));
    return folder + CurrentFileName;
}

bool TFrmScreenCam::MakeManualRecordingPath() {
    const QString name = EdtREC->text();
    if (name.trimmed().isEmpty()) {
        dialogs().messageBox(QStringLiteral("请输入要屏幕录像名称。"), {}, MsgIcon::None, MsgButtons::Ok, this);
        EdtREC->setFocus();
        return false;
    }
    // The name stays inside the recording folder ("/", "." and ".." would lead out of it or nowhere).
    QString refusal = recordingNameRefusal(name);
    if (refusal.isEmpty()) refusal = recordingNameRefusal(name + QStringLiteral(".avi"));
    if (!refusal.isEmpty()) {
        dialogs().messageBox(refusal, {}, MsgIcon::None, MsgButtons::Ok, this);
        EdtREC->setFocus();
        return false;
    }
    const QString path = CurrentFolder + QStringLiteral("%1.avi").arg(name);
    // Never over an earlier recording without asking; one that is replaced goes to the trash.
    if (FileExists(path)) {
        const MsgAnswer answer =
            dialogs().messageBox(QStringLiteral("录像文件%1已存在，要替换它吗？").arg(path), {}, MsgIcon::Question,
                                 MsgButtons::YesNo, this);
        if (answer != MsgAnswer::Yes || !TrashOrDelete(path)) return false;
    }
    CurrentFileName = QStringLiteral("%1.avi").arg(name);
    CurrentFilePath = path;
    return true;
}

void TFrmScreenCam::EdtRECPathKeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    // Enter refills the list for the folder in force; a newly typed folder takes effect on leaving the box.
    RefreshRecordingList();
    LblHint->setText(QStringLiteral("当前路径:%1").arg(CurrentFolder));
}

void TFrmScreenCam::EdtRECPathExit() {
    CurrentFolder = folderFromPathBox();
    if (CurrentFolder.isEmpty()) {
        LbVideoList->clear();
        LblHint->setText(kIllegalPath);
        return;
    }
    CurrentFolder = NormaliseFolder(EdtRECPath->text().trimmed());
    LblHint->setText(QStringLiteral("当前路径:%1").arg(CurrentFolder));
    CurrentFilePath = CurrentFolder + CurrentFileName;
}

void TFrmScreenCam::SpeedButton4Click() {
    if (!FrmDirSelect) FrmDirSelect = new TFrmDirSelect(this);
    if (FolderExists(EdtRECPath->text())) FrmDirSelect->openAt(EdtRECPath->text());
    FrmDirSelect->exec();
    const QString chosen = FrmDirSelect->SelectedPath;
    if (chosen.isEmpty()) return;
    EdtRECPath->setText(chosen);
    CurrentFolder = NormaliseFolder(chosen);
    OpenDialog1.initialDir = chosen;
    SaveAVIDialog.initialDir = chosen;
    RefreshRecordingList();
}

void TFrmScreenCam::BtnOpenDirClick() {
    const QString folder = ValidateRecordingFolder(QString());
    if (!folder.isEmpty()) shellOpen(folder);
}

}  // namespace zelq
