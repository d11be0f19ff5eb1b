#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "app/player/mediaplayer.h"
#include "capture/vfw/averror.h"
#include "capture/vfw/vfw_testkit.h"
#include "mainwindow_fixture.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

QStringList listedPictures(const TFrmScreenCam& w) {
    QStringList names;
    for (int i = 0; i < w.BitmapListBox->count(); ++i) names << w.BitmapListBox->item(i)->text();
    return names;
}

QString recordingOf(const QString& folder, const QString& name, int frames, int width = 64, int height = 48) {
    QDir().mkpath(folder);
    ::test::Recording rec;
    rec.width = width;
    rec.height = height;
    rec.positions.clear();
    for (int i = 0; i < frames; ++i) rec.positions.push_back(i);
    const QString path = folder + name;
    EXPECT_EQ(::test::writeRecording(path, rec), AVIERR_OK);
    return path;
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 le32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// Sizes of the video chunks of an AVI file's movie list, in file order: walked chunk by chunk from "movi".
std::vector<quint32> frameChunkSizes(const QByteArray& avi) {
    std::vector<quint32> sizes;
    const int movi = avi.indexOf("movi");
    if (movi < 0)
        return sizes;
    const int end = movi - 4 + 4 + int(le32(avi, movi - 4));
    for (int at = movi + 4; at + 8 <= std::min<int>(end, avi.size());) {
        const quint32 size = le32(avi, at + 4);
        if (avi.mid(at, 2) == "00")
            sizes.push_back(size);
        at += 8 + int((size + 1) & ~1u);
    }
    return sizes;
}

QImage bmpPicture(const QString& path) {
    return QImage(path, "BMP").convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST_F(MainWindowTest, SplittingWritesBmpFilesThatMatchFfmpegsDecode) {
    const QString path = recordingOf(recordingFolder(), "3.avi", 3);
    TFrmScreenCam& w = open();
    w.show();
    dialogs.answerPicker(path);
    QList<QImage> shown;  // the live view as each picture is listed
    QObject::connect(w.BitmapListBox->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        shown << w.BitmapImage->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    });
    QTest::mouseClick(w.BtnAVIToPIC, Qt::LeftButton);

    EXPECT_TRUE(w.PicPanelOpen);
    EXPECT_TRUE(w.PnlPic->isVisible());
    EXPECT_TRUE(w.BtnCreateAVI->isVisible());
    EXPECT_EQ(listedPictures(w), QStringList({"Frame01.BMP", "Frame02.BMP", "Frame03.BMP"}));
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("已生成Frame03.BMP"));
    EXPECT_EQ(w.EdtRECPath->text(), recordingFolder());

    const QString img = recordingFolder() + "img/";
    const QByteArray bmp = bytesOf(img + "Frame01.BMP");
    const quint32 imageSize = 64 * 3 * 48;
    ASSERT_EQ(bmp.size(), int(54 + imageSize));
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(le32(bmp, 2), 54 + imageSize);
    EXPECT_EQ(le32(bmp, 6), 0u);
    EXPECT_EQ(le32(bmp, 10), 54u);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 64u);
    EXPECT_EQ(le32(bmp, 22), 48u);
    EXPECT_EQ(qFromLittleEndian<quint16>(bmp.constData() + 26), 1);
    EXPECT_EQ(qFromLittleEndian<quint16>(bmp.constData() + 28), 24);
    for (int at : {30, 38, 42, 46, 50}) EXPECT_EQ(le32(bmp, at), 0u) << at;
    EXPECT_EQ(le32(bmp, 34), imageSize);

    // ffmpeg decodes the same recording independently; every picture must match it pixel for pixel, and
    // its 24-bit BMP file byte for byte.
    const QString ref = dir.filePath("ref");
    QDir().mkpath(ref);
    ASSERT_EQ(
        QProcess::execute("ffmpeg", {"-v", "error", "-i", path, "-pix_fmt", "bgr24", ref + "/F%02d.bmp"}), 0);
    for (int i = 1; i <= 3; ++i) {
        const QString name = QStringLiteral("Frame%1.BMP").arg(i, 2, 10, QLatin1Char('0'));
        const QString theirs = ref + QStringLiteral("/F%1.bmp").arg(i, 2, 10, QLatin1Char('0'));
        const QImage ours = bmpPicture(img + name);
        ASSERT_FALSE(ours.isNull()) << name.toStdString();
        EXPECT_EQ(ours, bmpPicture(theirs)) << i;
        EXPECT_EQ(bytesOf(img + name), bytesOf(theirs)) << i;
    }
    // The live view shows the first picture upright as it is listed, and the last one at the end.
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], bmpPicture(img + "Frame01.BMP"));
    EXPECT_EQ(w.BitmapImage->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              bmpPicture(img + "Frame03.BMP"));

    // One picture previews it; two selected clear the preview.
    QTest::mouseClick(w.BitmapListBox->viewport(), Qt::LeftButton, {},
                      w.BitmapListBox->visualItemRect(w.BitmapListBox->item(0)).center());
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("当前图片：Frame01.BMP"));
    EXPECT_EQ(w.BitmapImage->pixmap().size(), QSize(64, 48));
    QTest::mouseClick(w.BitmapListBox->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      w.BitmapListBox->visualItemRect(w.BitmapListBox->item(2)).center());
    EXPECT_TRUE(w.BitmapImage->pixmap().isNull());

    // A second split overwrites the files and lists every name again.
    dialogs.answerPicker(path);
    QTest::mouseClick(w.BtnAVIToPIC, Qt::LeftButton);
    EXPECT_EQ(w.BitmapListBox->count(), 6);
    EXPECT_EQ(QDir(img).entryList(QDir::Files).size(), 3);

    QTest::mouseClick(w.BtnClosePICPan, Qt::LeftButton);
    EXPECT_FALSE(w.PicPanelOpen);
    EXPECT_FALSE(w.PnlPic->isVisible());
    EXPECT_EQ(w.BitmapListBox->count(), 6);
}

TEST_F(MainWindowTest, PictureNamesGrowPastTwoDigitsNoSplitNestsAndARecordingStartStopsIt) {
    const QString path = recordingOf(recordingFolder(), "long.avi", 120, 32, 16);
    TFrmScreenCam& w = open();
    w.CancelExtraction = true;  // set while no split ran: no request to this split
    w.SplitRecordingToPictures(path);
    ASSERT_EQ(w.BitmapListBox->count(), 120);
    EXPECT_EQ(w.BitmapListBox->item(98)->text(), "Frame99.BMP");
    EXPECT_EQ(w.BitmapListBox->item(99)->text(), "Frame100.BMP");
    EXPECT_EQ(w.BitmapListBox->item(119)->text(), "Frame120.BMP");

    // The split button pressed again while a split runs starts nothing: no picker, no second numbering.
    w.BitmapListBox->clear();
    QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(w.BtnAVIToPIC, Qt::LeftButton); });
    w.SplitRecordingToPictures(path);
    EXPECT_EQ(w.BitmapListBox->count(), 120);
    EXPECT_TRUE(dialogs.calls().empty());

    // The flag set once the split lets the message loop run stops it within the few pictures written
    // ahead of the list; those written are listed in order, and no half-written one is left.
    w.BitmapListBox->clear();
    QTimer::singleShot(0, &w, [&w] { w.CancelExtraction = true; });
    w.SplitRecordingToPictures(path);
    const int written = w.BitmapListBox->count();
    EXPECT_LT(written, 20);
    for (int i = 0; i < written; ++i)
        EXPECT_EQ(w.BitmapListBox->item(i)->text(),
                  QStringLiteral("Frame%1.BMP").arg(i + 1, 2, 10, QLatin1Char('0')));
    EXPECT_EQ(QDir(recordingFolder() + "img").entryList(QDir::Files | QDir::Hidden).size(), 120);
    EXPECT_FALSE(w.CancelExtraction);
}

TEST_F(MainWindowTest, SplitFailuresNameTheOpenCodeOrEndSilently) {
    TFrmScreenCam& w = open();
    const QString folder = dir.filePath("bad/");
    QDir().mkpath(folder + "folder.avi");
    QFile text(folder + "text.avi");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a recording at all, just some words that go on for a while");
    text.close();
    w.SplitRecordingToPictures(folder + "text.avi");
    w.SplitRecordingToPictures(folder + "folder.avi");
    w.SplitRecordingToPictures(folder + "missing.avi");
    EXPECT_EQ(dialogs.messages(), std::vector<QString>({"BADFORMAT", "FILEOPEN", "FILEOPEN"}));
    EXPECT_EQ(w.BitmapListBox->count(), 0);
    EXPECT_STREQ(aviErrorName(static_cast<HRESULT>(0x80040154u)), "CLASSNOTREG");
    EXPECT_STREQ(aviErrorName(AVIERR_BADPARAM), "BADPARM");
    EXPECT_STREQ(aviErrorName(1234), "Unknown Error");

    // A truncated recording gives the frames it still holds, without a word.
    dialogs.clear();
    const QString whole = recordingOf(folder, "whole.avi", 10);
    QByteArray bytes = bytesOf(whole);
    QFile cut(folder + "cut.avi");
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() * 6 / 10));
    cut.close();
    w.SplitRecordingToPictures(folder + "cut.avi");
    EXPECT_GT(w.BitmapListBox->count(), 0);
    EXPECT_LT(w.BitmapListBox->count(), 10);
    EXPECT_TRUE(dialogs.messages().empty());

    // A file called "img" where the folder should be ends the split silently.
    const QString other = dir.filePath("other/");
    recordingOf(other, "r.avi", 2);
    QFile blocker(other + "img");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const int before = w.BitmapListBox->count();
    w.SplitRecordingToPictures(other + "r.avi");
    EXPECT_EQ(w.BitmapListBox->count(), before);
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(MainWindowTest, PictureListEditing) {
    TFrmScreenCam& w = open();
    const QString folder = dir.filePath("pics/");
    QDir().mkpath(folder);
    QStringList files;
    for (const char* name : {"b9.bmp", "b10.bmp", "A.bmp", "c.bmp", "d.bmp"}) {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(picture.save(folder + name, "BMP"));
        files << folder + name;
    }
    QFile icon(folder + "x.ico");  // no BMP: ends the adding there
    ASSERT_TRUE(icon.open(QIODevice::WriteOnly));
    icon.write("\0\0\1\0", 4);
    icon.close();

    w.EdtRECPath->setText(folder);
    dialogs.answerPicker(QStringList{files[0], files[1], folder + "x.ico", files[2]});
    w.BtnLoadPicsClick();
    EXPECT_EQ(listedPictures(w), QStringList({"b9.bmp", "b10.bmp"}));
    EXPECT_EQ(dialogs.calls().back().folder, folder + "img");
    dialogs.answerPicker(QStringList{files[2], files[3], files[4]});
    w.BtnLoadPicsClick();
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("所在路径：") + folder);
    EXPECT_EQ(listedPictures(w), QStringList({"b9.bmp", "b10.bmp", "A.bmp", "c.bmp", "d.bmp"}));

    w.BitmapListBox->setCurrentRow(0);
    w.SpeedButton14Click();  // the first cannot move up
    w.BitmapListBox->setCurrentRow(4);
    w.BtnPicMoveDownClick();  // nor the last down
    EXPECT_EQ(listedPictures(w), QStringList({"b9.bmp", "b10.bmp", "A.bmp", "c.bmp", "d.bmp"}));
    w.SpeedButton14Click();
    EXPECT_EQ(listedPictures(w), QStringList({"b9.bmp", "b10.bmp", "A.bmp", "d.bmp", "c.bmp"}));
    EXPECT_EQ(w.BitmapListBox->currentRow(), 3);
    EXPECT_TRUE(w.BitmapListBox->item(3)->isSelected());

    w.BtnPicSortClick();
    EXPECT_EQ(listedPictures(w), QStringList({"A.bmp", "b10.bmp", "b9.bmp", "c.bmp", "d.bmp"}));
    w.BtnPicSortClick();  // off: the order stays
    EXPECT_EQ(listedPictures(w), QStringList({"A.bmp", "b10.bmp", "b9.bmp", "c.bmp", "d.bmp"}));

    w.BitmapListBox->clearSelection();
    for (int i : {0, 2, 3}) w.BitmapListBox->item(i)->setSelected(true);
    w.SpeedButton13Click();
    EXPECT_EQ(listedPictures(w), QStringList({"b10.bmp", "d.bmp"}));
}

TEST_F(MainWindowTest, PicturesBecomeAnEightBitAviInListOrder) {
    TFrmScreenCam& w = open();
    const QString folder = dir.filePath("pics/");
    QDir().mkpath(folder);
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i) {
        // The last picture is larger: it is scaled to the first one's size.
        QImage picture(i == 2 ? QSize(640, 480) : QSize(320, 240), QImage::Format_RGB32);
        picture.fill(colours[i]);
        const QString file = folder + QStringLiteral("p%1.bmp").arg(i);
        ASSERT_TRUE(picture.save(file, "BMP"));
        dialogs.answerPicker(QStringList{file});
        w.BtnLoadPicsClick();
    }
    w.spinRate->setValue(10);
    const QString out = dir.filePath("out.avi");
    dialogs.answerPicker(out);
    w.BtnCreateAVIClick();
    EXPECT_EQ(w.MediaPlayer1->FileName, out);  // ready for the player, not opened
    EXPECT_FALSE(w.MediaPlayer1->HasVideo());

    const ::test::Probe p = ::test::probe(out);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.codecName, "rawvideo");
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_EQ(p.frameRate, "10/1");
    EXPECT_EQ(p.decodedFrames, 3);
    EXPECT_EQ(p.packetKeys, std::vector<bool>({true, true, true}));
    const QByteArray avi = bytesOf(out);
    const int strf = avi.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(le32(avi, strf + 4), 1064u);
    EXPECT_EQ(qFromLittleEndian<quint16>(avi.constData() + strf + 8 + 14), 8);
    EXPECT_EQ(le32(avi, strf + 8 + 32), 256u);
    EXPECT_EQ(frameChunkSizes(avi), std::vector<quint32>({76800, 76800, 76800}));

    // ffmpeg's decode shows the pictures in list order.
    const QString ref = dir.filePath("ref");
    QDir().mkpath(ref);
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-i", out, "-pix_fmt", "rgb24", ref + "/F%d.png"}),
              0);
    for (int i = 0; i < 3; ++i) {
        const QImage frame(ref + QStringLiteral("/F%1.png").arg(i + 1));
        EXPECT_EQ(frame.pixelColor(160, 120), colours[i]) << i;
    }

    // An empty list writes nothing at all.
    w.BitmapListBox->clear();
    const QString empty = dir.filePath("empty.avi");
    dialogs.answerPicker(empty);
    w.BtnCreateAVIClick();
    EXPECT_FALSE(QFileInfo::exists(empty));
}

namespace {

// A BMP picture of one colour, written into a folder; its full path.
QString colouredBmp(const QString& folder, const QString& name, QSize size, const QColor& colour) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    const QString path = folder + name;
    EXPECT_TRUE(picture.save(path, "BMP"));
    return path;
}

QColor previewColour(const TFrmScreenCam& w) {
    return w.BitmapImage->pixmap().toImage().pixelColor(0, 0);
}

}  // namespace

TEST_F(MainWindowTest, AHugePreviewScrollsAndKeysPreviewAsClicksDo) {
    TFrmScreenCam& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QString folder = dir.filePath("pics/");
    QDir().mkpath(folder);
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
    QStringList files;
    for (int i = 0; i < 3; ++i)
        files << colouredBmp(folder, QStringLiteral("p%1.bmp").arg(i + 1), {3840, 2160}, colours[i]);
    dialogs.answerPicker(files);
    w.BtnLoadPicsClick();
    w.PnlPic->show();
    QTest::mouseClick(w.BitmapListBox->viewport(), Qt::LeftButton, {},
                      w.BitmapListBox->visualItemRect(w.BitmapListBox->item(0)).center());
    ASSERT_EQ(w.BitmapImage->pixmap().size(), QSize(3840, 2160));
    // A 4K picture changes nothing of the window's own size limits: it is scrolled, not made room for.
    const QSize screen = w.screen()->availableSize();
    EXPECT_LE(w.minimumSizeHint().width(), screen.width());
    EXPECT_LE(w.minimumSizeHint().height(), screen.height());

    // Down twice: the third picture is the one shown and named.
    w.BitmapListBox->setFocus();
    QTest::keyClick(w.BitmapListBox, Qt::Key_Down);
    QTest::keyClick(w.BitmapListBox, Qt::Key_Down);
    // (QTRY_* would only return from the test on a timeout, which GoogleTest never sees.)
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.LblHint->text() == QStringLiteral("当前图片：p3.bmp"); }))
        << w.LblHint->text().toStdString();
    EXPECT_EQ(previewColour(w), colours[2]);
    // Shift+Up selects two: the preview is cleared, as a click with two selected does.
    QTest::keyClick(w.BitmapListBox, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.BitmapImage->pixmap().isNull(); }));
}

TEST_F(MainWindowTest, ListedPicturesStayWhatTheyWereAddedWithAndAMissingOneIsNamed) {
    TFrmScreenCam& w = open();
    const QString folder = dir.filePath("pics/");
    QDir().mkpath(folder);
    const QString a = colouredBmp(folder, "a.bmp", {320, 240}, Qt::red);
    const QString b = colouredBmp(folder, "b.bmp", {320, 240}, Qt::green);
    const QString c = colouredBmp(folder, "c.bmp", {320, 240}, Qt::blue);
    // What a run that crashed left behind goes when pictures are kept again.
    const QString abandoned =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/pictures-999999999-x";
    ASSERT_TRUE(QDir().mkpath(abandoned));
    dialogs.answerPicker(QStringList{a, b, c});
    w.BtnLoadPicsClick();
    EXPECT_FALSE(QFileInfo::exists(abandoned));

    // Another split puts a new picture in a's place (written beside it and renamed over it); b is deleted.
    const QString next = colouredBmp(folder, "a.new", {320, 240}, Qt::yellow);
    ASSERT_TRUE(QFile::remove(a) && QFile::rename(next, a));
    ASSERT_TRUE(QFile::remove(b));
    w.BitmapListBox->setCurrentRow(0);
    w.BitmapListBoxClick();
    EXPECT_EQ(previewColour(w), QColor(Qt::red));

    const QString out = dir.filePath("out.avi");
    dialogs.answerPicker(out);
    w.BtnCreateAVIClick();
    const ::test::Probe p = ::test::probe(out);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.decodedFrames, 3);
    const QString ref = dir.filePath("ref");
    QDir().mkpath(ref);
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-i", out, "-pix_fmt", "rgb24", ref + "/F%d.png"}),
              0);
    const QList<QColor> added{Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QImage(ref + QStringLiteral("/F%1.png").arg(i + 1)).pixelColor(5, 5), added[i]) << i;
    EXPECT_TRUE(dialogs.messages().empty());

    // Deleted items give their kept pictures up.
    const QString keptFolder = QFileInfo(w.BitmapListBox->item(0)->data(Qt::UserRole + 1).toString()).path();
    ASSERT_FALSE(keptFolder.isEmpty());
    EXPECT_EQ(QDir(keptFolder).entryList(QDir::Files).size(), 3);
    w.BitmapListBox->clearSelection();
    w.BitmapListBox->item(2)->setSelected(true);
    w.SpeedButton13Click();
    EXPECT_EQ(QDir(keptFolder).entryList(QDir::Files).size(), 2);

    // A picture that truly cannot be had any more is named, and no recording is written.
    ASSERT_TRUE(QFile::remove(w.BitmapListBox->item(1)->data(Qt::UserRole + 1).toString()));
    const QString short_ = dir.filePath("short.avi");
    dialogs.answerPicker(short_);
    w.BtnCreateAVIClick();
    EXPECT_FALSE(QFileInfo::exists(short_));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages().back().contains(b)) << dialogs.messages().back().toStdString();
    EXPECT_EQ(w.LblHint->text(), dialogs.messages().back());

    // The kept pictures go with the window.
    closeProgram();
    EXPECT_FALSE(QFileInfo::exists(keptFolder));
}

TEST_F(MainWindowTest, ThePictureListStaysDrawnDuringASplit) {
    const QString path = recordingOf(recordingFolder(), "1.avi", 60);
    TFrmScreenCam& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Looks at the list as it is painted while the split runs (the split lets events through after every
    // picture): once it has items, every look must find them drawn.
    int looks = 0, blank = 0;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (w.BitmapListBox->count() == 0)
            return;
        const QImage drawn = w.BitmapListBox->viewport()->grab().toImage();
        const QRgb background = drawn.pixel(drawn.width() - 2, drawn.height() - 2);
        bool anything = false;
        for (int y = 0; y < std::min(drawn.height(), 16) && !anything; ++y)
            for (int x = 0; x < drawn.width() && !anything; ++x) anything = drawn.pixel(x, y) != background;
        ++looks;
        if (!anything)
            ++blank;
    });
    look.start(5);
    dialogs.answerPicker(path);
    QTest::mouseClick(w.BtnAVIToPIC, Qt::LeftButton);
    look.stop();
    ASSERT_EQ(w.BitmapListBox->count(), 60);
    EXPECT_GT(looks, 0);
    EXPECT_EQ(blank, 0) << "of " << looks << " looks";
}
