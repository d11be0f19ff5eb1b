// The picture panel: splitting a recording into numbered BMP pictures, previewing them, and editing the
// picture list.
//
// The list holds each picture's file, not the picture itself: a ten-minute recording at 1080p makes
// thousands of pictures of several megabytes each, more than memory holds. A picture is loaded when it is
// previewed or written into a recording, from the private name the keeper gave the file when the item was
// added, so that it is still the picture the item was added with.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "app/picturesplitter.h"
#include "app/player/mediaplayer.h"
#include "app/screencam.h"
#include "capture/vfw/averror.h"
#include "capture/vfw/localavi.h"
#include "capture/vfw/vfw.h"
#include "convert/avicreator.h"
#include "convert/bmpfile.h"
#include "platform/dialogs.h"

namespace zelq {

namespace {

// Everything a split holds open, released in the order Video for Windows wants it, however the split ends.
struct SplitObjects {
    PAVIFILE file;
    PAVISTREAM stream;
    PGETFRAME frames;
    bool streaming = false;
    ~SplitObjects() {
        if (streaming)
            AVIStreamEndStreaming(stream);
        AVIStreamGetFrameClose(frames);
        AVIStreamRelease(stream);
        AVIFileRelease(file);
        AVIFileExit();
    }
};

constexpr int kFileRole = Qt::UserRole;      // the file the picture was added from, full path
constexpr int kKeptRole = Qt::UserRole + 1;  // the keeper's private name for it; empty when none was had

// Items order themselves by their text as the list control's own text order does: without regard to case.
// An item owns its private name, as it owned its picture.
class PictureItem final : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    ~PictureItem() override {
        const QString kept = data(kKeptRole).toString();
        if (!kept.isEmpty())
            QFile::remove(kept);
    }
    bool operator<(const QListWidgetItem& other) const override {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

// Where an item's picture is read from.
QString pictureSource(const QListWidgetItem& item) {
    const QString kept = item.data(kKeptRole).toString();
    return kept.isEmpty() ? item.data(kFileRole).toString() : kept;
}

// The folder part of a path, with its trailing separator.
QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath() + QLatin1Char('/');
}

// The live view is refreshed a few times a second: turning every 1080p frame into a pixmap would cost more
// than decoding and saving it, and the eye sees no difference.
constexpr qint64 kPreviewIntervalMs = 100;

}  // namespace

void TFrmScreenCam::BtnAVIToPICClick() {
    if (splitting_)
        return;  // the split under way shows its progress on the hint line
    PicPanelOpen = true;
    PnlPic->show();
    showPictureTools();
    const QString folder = ValidateRecordingFolder(QString());
    if (folder.isEmpty())
        return;
    OpenDialog1.initialDir = folder;
    const QString path = dialogs().openFile(this, QString(), OpenDialog1.initialDir, OpenDialog1.filter);
    if (path.isEmpty())
        return;
    OpenDialog1.fileName = path;
    const QString recordingFolder = folderOf(path);
    EdtRECPath->setText(recordingFolder);
    LblHint->setText(recordingFolder + QStringLiteral("img"));
    SplitRecordingToPictures(path);
}

void TFrmScreenCam::SplitRecordingToPictures(const QString& path) {
    if (splitting_)
        return;
    splitting_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{splitting_};
    // A recording started while no split ran is no request to stop this one.
    CancelExtraction = false;
    const QString pictureFolder = folderOf(path) + QStringLiteral("img");
    if (!QDir().mkpath(pictureFolder))
        return;  // e.g. a file called "img" is in the way

    SplitObjects avi;
    AVIFileInit();
    const HRESULT opened = AVIFileOpen(avi.file, path.toStdString(), OF_READ);
    if (opened != AVIERR_OK) {
        dialogs().messageBox(QString::fromLatin1(aviErrorName(opened)));
        return;
    }
    if (AVIFileGetStream(avi.file, avi.stream, streamtypeVIDEO, 0) != AVIERR_OK)
        return;
    const LONG start = AVIStreamStart(avi.stream);
    const LONG end = AVIStreamEnd(avi.stream);
    const LONG length = AVIStreamLength(avi.stream);
    LblHint->setText(QStringLiteral("可分解成%1个图片").arg(length));
    AVISTREAMINFO info{};
    AVIStreamInfo(avi.stream, &info, sizeof info);
    int claimedWidth = info.rcFrame.right - info.rcFrame.left;
    int claimedHeight = info.rcFrame.bottom - info.rcFrame.top;
    // The frame rectangle may name a small picture inside a coded frame that the format claims far
    // larger; the decoder would be made that large, so the larger claim is the one judged.
    BitmapInfoHeader format;
    LONG formatBytes = sizeof format;
    if (AVIStreamReadFormat(avi.stream, start, &format, &formatBytes) == AVIERR_OK &&
        !pictureSizeAcceptable(format.biWidth, std::abs(format.biHeight))) {
        claimedWidth = format.biWidth;
        claimedHeight = std::abs(format.biHeight);
    }
    if (!pictureSizeAcceptable(std::max(claimedWidth, 1), std::max(claimedHeight, 1))) {
        // Each picture would be as large as the frame: an 8K limit keeps a lying header from filling
        // the disk and the memory with pictures nobody recorded.
        const QString text = QStringLiteral("录像画面为%1×%2，超过8K（7680×4320），无法分解为图片。")
                                 .arg(claimedWidth)
                                 .arg(claimedHeight);
        LblHint->setText(text);
        dialogs().messageBox(text, {}, MsgIcon::Warning);
        return;
    }
    avi.frames = AVIStreamGetFrameOpen(avi.stream);
    if (!avi.frames)
        return;
    if (AVIStreamBeginStreaming(avi.stream, start, end, 1000) != AVIERR_OK)
        return;
    avi.streaming = true;

    // The frames are decoded and written on the splitter's threads; this thread lists each picture as it
    // is written and keeps the window answering meanwhile.
    PictureSplitter splitter(avi.frames, length, pictureFolder + QLatin1Char('/'));
    QEventLoop loop;
    QElapsedTimer previewShown;
    bool previewAsked = false;
    bool lastPreviewed = true;
    QString lastFile;
    const auto askForPreview = [&] {
        if (!previewAsked && (!previewShown.isValid() || previewShown.elapsed() >= kPreviewIntervalMs)) {
            splitter.wantPreview();
            previewAsked = true;
        }
    };
    // A recording started meanwhile asks the split to stop.
    const auto takeCancel = [&] {
        if (CancelExtraction) {
            CancelExtraction = false;
            splitter.cancel();
        }
    };
    connect(&splitter, &PictureSplitter::pictureWritten, &splitter,
            [&](int, const QString& name, const QString& file, const QImage& preview) {
                lastFile = file;
                lastPreviewed = !preview.isNull();
                // The live view first, so that it shows the picture the list is about to name.
                if (lastPreviewed)
                    BitmapImage->setPixmap(QPixmap::fromImage(preview));
                addPictureItem(name, file);
                splitter.listed();
                // An insertion throws the list's layout away until the list lays itself out again, which
                // it leaves for a pause that never comes during a split: whatever paints it meanwhile
                // would draw it empty. It is laid out at once (cheap: every item has the same size) and
                // drawn with the live view.
                BitmapListBox->doItemsLayout();
                if (lastPreviewed) {
                    BitmapListBox->viewport()->repaint();
                    previewShown.restart();
                    previewAsked = false;
                }
                LblHint->setText(QStringLiteral("已生成%1").arg(name));
                takeCancel();
                askForPreview();
            });
    QString stopped;  // why the split ended before the last frame, when not at the user's request
    int n = 0;
    connect(&splitter, &PictureSplitter::finished, &loop, [&](const QString& why, int written) {
        stopped = why;
        n = written;
        loop.quit();
    });
    // Between pictures too, for a frame that takes long to decode or a picture long to write.
    QTimer watch;
    watch.setInterval(kPreviewIntervalMs / 2);
    connect(&watch, &QTimer::timeout, &splitter, [&] {
        takeCancel();
        askForPreview();
    });
    askForPreview();
    splitter.start();
    watch.start();
    loop.exec();

    if (!lastPreviewed)
        BitmapImage->setPixmap(QPixmap(lastFile, "BMP"));
    if (!stopped.isEmpty()) {
        const QString text = QStringLiteral("分解未完成：%1。已生成%2个图片。").arg(stopped).arg(n);
        LblHint->setText(text);
        dialogs().messageBox(text, {}, MsgIcon::Warning);
    }
}

void TFrmScreenCam::addPictureItem(const QString& name, const QString& file) {
    auto* item = new PictureItem(name);
    item->setData(kFileRole, file);
    // Without a private name (no room for a copy) the item reads the file itself, as it always could.
    item->setData(kKeptRole, pictureKeeper_.keep(file));
    BitmapListBox->addItem(item);
}

QImage TFrmScreenCam::pictureOf(const QListWidgetItem& item) {
    return QImage(pictureSource(item));
}

void TFrmScreenCam::BitmapListBoxClick() {
    if (BitmapListBox->selectedItems().size() < 2) {
        const QListWidgetItem* item = BitmapListBox->currentItem();
        if (!item)
            return;
        BitmapImage->setPixmap(QPixmap::fromImage(pictureOf(*item)));
        LblHint->setText(QStringLiteral("当前图片：%1").arg(item->text()));
    } else {
        BitmapImage->clear();
    }
}

void TFrmScreenCam::MnOpenPicPathClick() {
    shellOpen(CurrentFolder + QStringLiteral("img"));
}

void TFrmScreenCam::BtnClosePICPanClick() {
    PicPanelOpen = false;
    PnlPic->hide();
}

// The list-editing buttons are laid out hidden; they are shown with the panel so that the list can be
// edited and written out as a recording.
void TFrmScreenCam::showPictureTools() {
    for (QWidget* w : std::initializer_list<QWidget*>{BtnLoadPics, SpeedButton13, SpeedButton14,
                                                      BtnPicMoveDown, BtnPicSort, spinRate, BtnCreateAVI}) {
        w->show();
    }
}

void TFrmScreenCam::BtnLoadPicsClick() {
    const QString typed = EdtRECPath->text().trimmed();
    const QString pictureFolder =
        (typed.isEmpty() ? QString() : QDir::cleanPath(typed) + QLatin1Char('/')) + QStringLiteral("img");
    QDir().mkpath(pictureFolder);
    AddBitmapDialog.initialDir = pictureFolder;
    const QStringList files =
        dialogs().openFiles(this, QString(), AddBitmapDialog.initialDir, AddBitmapDialog.filter);
    for (const QString& file : files) {
        AddBitmapDialog.fileName = file;
        // Every frame of a recording built from the list is as large as its pictures: the recording's
        // own 8K limit holds here, and a refusal for the size says so (a picture that large would also
        // not load, and the adding would end without a word).
        const QSize size = QImageReader(file).size();
        if (size.isValid() && !pictureSizeAcceptable(size.width(), size.height())) {
            reportUnbuilt(QStringLiteral("图片%1为%2×%3，超过8K（7680×4320），无法用来生成录像。")
                              .arg(file)
                              .arg(size.width())
                              .arg(size.height()));
            return;
        }
        // Only whole BMP pictures are taken; the first that does not load in full ends the adding.
        if (LoadWholeBmp(file).isNull())
            return;
        addPictureItem(QFileInfo(file).fileName(), file);
    }
    const QString chosen = AddBitmapDialog.fileName;
    LblHint->setText(QStringLiteral("所在路径：%1").arg(chosen.isEmpty() ? QString() : folderOf(chosen)));
}

void TFrmScreenCam::reportUnbuilt(const QString& text) {
    LblHint->setText(text);
    dialogs().messageBox(text);
}

void TFrmScreenCam::SpeedButton13Click() {
    for (int i = BitmapListBox->count() - 1; i >= 0; --i) {
        if (BitmapListBox->item(i)->isSelected())
            delete BitmapListBox->takeItem(i);
    }
}

void TFrmScreenCam::movePictureItem(int step) {
    const int from = BitmapListBox->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= BitmapListBox->count())
        return;
    QListWidgetItem* item = BitmapListBox->takeItem(from);
    BitmapListBox->insertItem(to, item);
    BitmapListBox->setCurrentItem(item, QItemSelectionModel::Current);
    item->setSelected(true);
}

void TFrmScreenCam::SpeedButton14Click() {
    movePictureItem(-1);
}

void TFrmScreenCam::BtnPicMoveDownClick() {
    movePictureItem(1);
}

void TFrmScreenCam::BtnPicSortClick() {
    const bool sorted = !BitmapListBox->isSortingEnabled();
    BitmapListBox->setSortingEnabled(sorted);
    if (sorted)
        BitmapListBox->sortItems(Qt::AscendingOrder);
}

void TFrmScreenCam::BtnCreateAVIClick() {
    ClosePlayer();  // the player must not hold the file about to be written
    const QString path = dialogs().saveFile(this, QString(), SaveAVIDialog.initialDir, SaveAVIDialog.filter,
                                            SaveAVIDialog.defaultExt);
    if (path.isEmpty())
        return;
    SaveAVIDialog.fileName = path;
    // A recording with pictures left out is not what the list shows: a picture that cannot be read any
    // more is named before anything is written.
    const int count = BitmapListBox->count();
    for (int i = 0; i < count; ++i) {
        if (!QImageReader(pictureSource(*BitmapListBox->item(i))).canRead()) {
            reportUnbuilt(QStringLiteral("无法读取图片%1，录像没有生成。")
                              .arg(BitmapListBox->item(i)->data(kFileRole).toString()));
            return;
        }
    }
    int unreadable = -1;
    const int written = BuildAviFromPictures(
        path, count,
        [this, &unreadable](int i) {
            QImage picture = pictureOf(*BitmapListBox->item(i));
            if (picture.isNull())
                unreadable = i;
            return picture;
        },
        spinRate->value());
    if (unreadable >= 0) {
        reportUnbuilt(QStringLiteral("无法读取图片%1，录像%2只有%3帧。")
                          .arg(BitmapListBox->item(unreadable)->data(kFileRole).toString(), path)
                          .arg(written));
    } else if (count > 0 && written < count) {
        reportUnbuilt(QStringLiteral("录像%1没有写完，只有%2帧。").arg(path).arg(written));
    }
    // The new recording is the player's file, ready to be opened; it is not opened or played here.
    if (QFileInfo::exists(SaveAVIDialog.fileName))
        MediaPlayer1->FileName = SaveAVIDialog.fileName;
}

}  // namespace zelq
