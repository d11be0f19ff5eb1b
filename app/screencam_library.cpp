// The recordings list of the main window: what is in the recording folder, in recording order.
#include <QFileInfo>

#include "app/screencam.h"
#include "convert/filelist.h"
#include "convert/recordinglist.h"
#include "platform/paths.h"

namespace zelq {

void TFrmScreenCam::RefreshRecordingList() {
    if (!FolderExists(CurrentFolder) && CreateFolderPath(CurrentFolder) == CreateFolderResult::Refused) return;
    QStringList files;
    ListFolderFiles(CurrentFolder, QStringLiteral("avi"), files);
    LbVideoList->clear();
    for (const QString& path : files) LbVideoList->addItem(QFileInfo(path).fileName());
    if (LbVideoList->count() > 0) SortRecordingList(LbVideoList);
}

}  // namespace zelq
