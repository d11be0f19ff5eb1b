// Pictures and recordings written over files that are already there: nothing is destroyed, a write cut
// short says so, and files that lie about themselves are refused.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "capture/vfw/vfw_testkit.h"
#include "convert/avicreator.h"
#include "mainwindow_fixture.h"

using namespace zelq;
using ::test::bytesOf;
using zelq::test::MainWindowTest;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString recordingIn(const QString& folder, const char* name, int frames) {
    QDir().mkpath(folder);
    ::test::Recording rec;
    rec.positions.clear();
    for (int i = 0; i < frames; ++i) rec.positions.push_back(i);
    const QString path = folder + name;
    EXPECT_EQ(::test::writeRecording(path, rec), AVIERR_OK);
    return path;
}

QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList(QDir::Hidden | QDir::Files).filter(".part");
}

}  // namespace

TEST_F(MainWindowTest, ABuildOverARecordingKeepsTheOldOneWholeUntilTheNewOneIsWholeThenTrashesIt) {
    const QString folder = dir.filePath("rec/");
    const QString path = recordingIn(folder, "old.avi", 3);
    const QByteArray old = bytesOf(path);
    QImage picture(32, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);

    // Cut short (a picture that no longer loads): the old recording stays, nothing half-made is left.
    EXPECT_EQ(BuildAviFromPictures(path, 3, [&](int i) { return i < 2 ? picture : QImage(); }, 10), 0);
    EXPECT_EQ(bytesOf(path), old);
    EXPECT_EQ(leftovers(folder), QStringList());

    // While the pictures are written, the old recording is there as it was.
    QList<QByteArray> seen;
    EXPECT_EQ(BuildAviFromPictures(path, 4, [&](int) { seen << bytesOf(path); return picture; }, 10), 4);
    EXPECT_EQ(seen, QList<QByteArray>(4, old));
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.decodedFrames, 4);
    EXPECT_EQ(p.width, 32);
    EXPECT_EQ(bytesOf(home + "/.local/share/Trash/files/old.avi"), old);
    EXPECT_EQ(leftovers(folder), QStringList());
}

TEST_F(MainWindowTest, ASplitTrashesPicturesItReplacesAndSaysWhyWhenItStopsEarly) {
    // A picture of the user's own named as the split names its first.
    const QString folder = dir.filePath("rec/");
    const QString path = recordingIn(folder, "r.avi", 3);
    QDir().mkpath(folder + "img");
    ASSERT_TRUE(writeBytes(folder + "img/Frame01.BMP", "the user's own"));
    TFrmScreenCam& w = open();
    w.SplitRecordingToPictures(path);
    EXPECT_EQ(w.BitmapListBox->count(), 3);
    EXPECT_EQ(QImage(folder + "img/Frame01.BMP").size(), QSize(64, 48));
    EXPECT_EQ(bytesOf(home + "/.local/share/Trash/files/Frame01.BMP"), "the user's own");
    EXPECT_EQ(leftovers(folder + "img"), QStringList());
    EXPECT_TRUE(dialogs.messages().empty());

    // A disk that fills up: the split stops before a picture that would not fit and says how far it got.
    ::test::SmallDisk disk("size=1400k");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    const QString small = recordingIn(disk.path("") + "/", "long.avi", 80);
    w.BitmapListBox->clear();
    w.SplitRecordingToPictures(small);
    const int written = w.BitmapListBox->count();
    ASSERT_GT(written, 0);
    ASSERT_LT(written, 80);
    EXPECT_EQ(dialogs.messages(),
              std::vector<QString>{QStringLiteral("分解未完成：磁盘空间不足。已生成%1个图片。").arg(written)});
    EXPECT_EQ(QDir(disk.path("img")).entryList(QDir::Files | QDir::Hidden).size(), written);
    EXPECT_FALSE(QImage(disk.path("img") + QStringLiteral("/Frame%1.BMP").arg(written)).isNull());
}

TEST_F(MainWindowTest, AFrameClaimedBeyond8KAndATruncatedPictureAreRefused) {
    // A recording whose header claims 8192 x 8192 pictures.
    const QString folder = dir.filePath("rec/");
    const QString path = recordingIn(folder, "huge.avi", 2);
    QByteArray bytes = bytesOf(path);
    const qsizetype strf = bytes.indexOf("strf");
    const qsizetype strh = bytes.indexOf("strh");
    ASSERT_GT(strf, 0);
    for (const qsizetype at : {strf + 12, strf + 16}) qToLittleEndian<qint32>(8192, bytes.data() + at);
    for (const qsizetype at : {strh + 8 + 52, strh + 8 + 54}) qToLittleEndian<quint16>(8192, bytes.data() + at);
    ASSERT_TRUE(writeBytes(path, bytes));
    TFrmScreenCam& w = open();
    w.SplitRecordingToPictures(path);
    EXPECT_EQ(dialogs.messages(),
              std::vector<QString>{QStringLiteral("录像画面为8192×8192，超过8K（7680×4320），无法分解为图片。")});
    EXPECT_EQ(w.BitmapListBox->count(), 0);
    EXPECT_TRUE(QDir(folder + "img").entryList(QDir::Files).isEmpty());
    PAVIFILE file;
    PAVISTREAM stream;
    ASSERT_EQ(AVIFileOpen(file, path.toStdString(), OF_READ), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), AVIERR_OK);
    EXPECT_EQ(AVIStreamGetFrameOpen(stream), nullptr);

    // Only the format claims 20000 x 12000, the frame rectangle a small picture inside it: refused all
    // the same, and said so in the box and on the hint line.
    const QString inside = recordingIn(folder, "inside.avi", 2);
    bytes = bytesOf(inside);
    const qsizetype format = bytes.indexOf("strf");
    qToLittleEndian<qint32>(20000, bytes.data() + format + 12);
    qToLittleEndian<qint32>(12000, bytes.data() + format + 16);
    ASSERT_TRUE(writeBytes(inside, bytes));
    dialogs.clear();
    w.SplitRecordingToPictures(inside);
    const QString refusal = QStringLiteral("录像画面为20000×12000，超过8K（7680×4320），无法分解为图片。");
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{refusal});
    EXPECT_EQ(w.LblHint->text(), refusal);
    EXPECT_TRUE(QDir(folder + "img").entryList(QDir::Files).isEmpty());

    // A picture cut short is no picture: it ends the adding as a non-picture does.
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(folder + "whole.bmp", "BMP"));
    ASSERT_TRUE(writeBytes(folder + "cut.bmp", bytesOf(folder + "whole.bmp").chopped(100)));
    ASSERT_FALSE(QImage(folder + "cut.bmp", "BMP").isNull());  // Qt pads the missing rows
    dialogs.clear();
    dialogs.answerPicker(QStringList{folder + "whole.bmp", folder + "cut.bmp", folder + "whole.bmp"});
    w.BtnLoadPicsClick();
    EXPECT_EQ(w.BitmapListBox->count(), 1);

    // A picture beyond 8K ends the adding too, and says why.
    QByteArray huge = bytesOf(folder + "whole.bmp");
    qToLittleEndian<qint32>(20000, huge.data() + 18);
    qToLittleEndian<qint32>(12000, huge.data() + 22);
    ASSERT_TRUE(writeBytes(folder + "huge.bmp", huge));
    dialogs.clear();
    dialogs.answerPicker(QStringList{folder + "huge.bmp", folder + "whole.bmp"});
    w.BtnLoadPicsClick();
    EXPECT_EQ(w.BitmapListBox->count(), 1);
    const QString tooLarge =
        QStringLiteral("图片%1为20000×12000，超过8K（7680×4320），无法用来生成录像。").arg(folder + "huge.bmp");
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{tooLarge});
    EXPECT_EQ(w.LblHint->text(), tooLarge);
}
