// The recordings list of the main window: what is in the recording folder, in recording order, and the
// operations on the recordings it shows: select, delete, rename, open in the default player.
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <cerrno>

#include "app/recordingnames.h"
#include "app/rename.h"
#include "app/screencam.h"
#include "convert/recordinglist.h"
#include "platform/dialogs.h"
#include "platform/fileops.h"
#include "platform/paths.h"

namespace zelq {

void TFrmScreenCam::RefreshRecordingList() {
    if (CurrentFolder.isEmpty()) {
        // No folder: an empty list, never the files of a folder that is no longer in force.
        LbVideoList->clear();
        listedFolder_.clear();
        return;
    }
    // A local folder answers in a millisecond; the wait only bounds what a slow one costs the window.
    constexpr std::chrono::milliseconds kListingWait{1000};
    const QString folder = CurrentFolder;
    const bool listed = folderScan_.scan(
        folder, kListingWait, [this, folder](const FolderListing& listing) { ShowRecordingList(folder, listing); });
    if (!listed && listedFolder_ != folder) {
        LbVideoList->clear();
        listedFolder_.clear();
    }
}

void TFrmScreenCam::ShowRecordingList(const QString& folder, const FolderListing& listing) {
    LbVideoList->clear();
    listedFolder_ = listing.usable ? folder : QString();
    if (!listing.usable)
        return;
    // A recording left unfinished by a crash gets its index and counts back, in the background: the
    // names are listed at once. One that a recording (of this copy or another) is still writing is left
    // alone.
    std::vector<std::filesystem::path> paths;
    for (const QString& path : listing.files) paths.emplace_back(QFile::encodeName(path).toStdString());
    repairs_.add(paths);
    for (const QString& path : listing.files) LbVideoList->addItem(QFileInfo(path).fileName());
    if (LbVideoList->count() > 0) SortRecordingList(LbVideoList);
}

void TFrmScreenCam::LbVideoListClick() {
    const QListWidgetItem* current = LbVideoList->currentItem();
    if (!current) {
        dialogs().messageBox(QStringLiteral("请选择一个视频文件。"), {}, MsgIcon::None, MsgButtons::Ok, this);
        LbVideoList->setFocus();
        return;
    }
    CurrentFileName = current->text();
    CurrentFilePath = QStringLiteral("%1%2").arg(CurrentFolder, CurrentFileName);
    LblHint->setText(QStringLiteral("当前文件:%1").arg(CurrentFilePath));
}

void TFrmScreenCam::LbVideoListKeyDown(int key) {
    if (key == Qt::Key_Delete) DeleteSelectedRecordings();
}

void TFrmScreenCam::MnDeleteRECClick() { DeleteSelectedRecordings(); }

QStringList TFrmScreenCam::CollectSelectedRecordings() const {
    QStringList names;
    for (int i = 0; i < LbVideoList->count(); ++i) {
        if (LbVideoList->item(i)->isSelected()) names << LbVideoList->item(i)->text();
    }
    return names;
}

void TFrmScreenCam::DeleteSelectedRecordings() {
    if (CurrentFolder.isEmpty()) return;
    ClosePlayer();
    for (const QString& name : CollectSelectedRecordings()) {
        // To the trash, so a slip of the Delete key can be undone. A file that cannot be removed is
        // passed over; the refilled list shows it is still there.
        TrashOrDelete(CurrentFolder + name);
    }
    RefreshRecordingList();
    SbVideoScreen->update();
    PnlVideoControl->hide();
}

void TFrmScreenCam::MnUpdateRECNameClick() {
    if (!FrmReName) FrmReName = new TFrmReName(this);
    const QListWidgetItem* current = LbVideoList->currentItem();
    if (!current) return;
    const QString oldName = current->text();
    FrmReName->SetName(oldName);
    FrmReName->exec();
    if (CurrentFolder.isEmpty()) return;
    const QString newName = FrmReName->NewName;
    ClosePlayer();
    // The name is used as typed, but it can neither replace another file nor move the recording out of
    // its folder; a refusal says why, so the user is not left wondering why nothing changed.
    if (newName != oldName) {
        QString refusal = recordingNameRefusal(newName);
        if (refusal.isEmpty() && !MoveFileNoReplace(QStringLiteral("%1%2").arg(CurrentFolder, oldName),
                                                    QStringLiteral("%1%2").arg(CurrentFolder, newName))) {
            refusal = fileRefusal(newName, errno);
        }
        if (!refusal.isEmpty()) dialogs().messageBox(refusal, {}, MsgIcon::None, MsgButtons::Ok, this);
    }
    RefreshRecordingList();
}

void TFrmScreenCam::BtnDefaultOpenClick() {
    if (CurrentFileName.trimmed().isEmpty()) {
        dialogs().messageBox(QStringLiteral("请选择『录像列表』中一个视频文件"), {}, MsgIcon::None, MsgButtons::Ok, this);
        return;
    }
    const QString path = QStringLiteral("%1%2").arg(CurrentFolder, CurrentFileName);
    if (FileExists(path)) {
        shellOpen(path);
    } else {
        dialogs().messageBox(QStringLiteral("此视频文件不存在：%1").arg(path), {}, MsgIcon::None, MsgButtons::Ok, this);
    }
}

}  // namespace zelq
