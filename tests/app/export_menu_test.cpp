#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/areaselect.h"
#include "app/exportdialog.h"
#include "capture/scrcam/scrcam.h"
#include "mainwindow_fixture.h"
#include "vfw_testkit.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

QString probedCodecs(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", path});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

}  // namespace

TEST_F(MainWindowTest, TheListsMenuExportsTheCurrentRecordingWithProgressAndARecordingsStartCancelsIt) {
    ::test::SoundRecording rec;
    rec.positions = 30;
    rec.picture = [](int x, int y, int f) {
        return ::test::Rgb{std::uint8_t(x * 4), std::uint8_t(y * 5), std::uint8_t(f * 8)};
    };
    rec.sound = [](std::int64_t i) { return std::int16_t((i % 100) * 50); };
    TFrmScreenCam& w = open();
    ASSERT_EQ(::test::writeSoundRecording(recordingFolder() + "1.avi", rec), zelq::AVIERR_OK);
    w.RefreshRecordingList();
    w.show();
    const QStringList entries = [&] {
        QStringList t;
        for (QAction* a : w.PmRecList->actions()) t << a->text();
        return t;
    }();
    EXPECT_EQ(entries.mid(entries.size() - 3), QStringList({"导出为 MP4…", "导出为 WebM…", "导出为 GIF…"}));

    // Nothing selected: the list's own message.
    w.MnExportMP4->trigger();
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("请选择『录像列表』中一个视频文件")});

    w.LbVideoList->setCurrentRow(0);
    w.MnExportMP4->trigger();
    auto* dialog = w.findChild<ExportDialog*>("FrmExport");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->busy(); }, 60000));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->PbExport->value(), 1000);
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("已导出：") + recordingFolder() + "1.mp4");
    EXPECT_EQ(probedCodecs(recordingFolder() + "1.mp4"), "h264 aac");

    // The area window hides the main window and may be abandoned: the export goes on. A recording's
    // start cancels it, and nothing of it is left.
    w.MnExportWebM->trigger();
    ASSERT_TRUE(dialog->busy());
    w.BtnAreaScreenREC->click();
    EXPECT_FALSE(w.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->busy(); }, 60000));
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("已导出：") + recordingFolder() + "1.webm");
    EXPECT_EQ(probedCodecs(recordingFolder() + "1.webm"), "vp9 opus");
    w.FrmAreaSelect->close();
    w.show();

    const QStringList before = QDir(recordingFolder()).entryList(QDir::Files | QDir::Hidden);
    w.MnExportGIF->trigger();
    ASSERT_TRUE(dialog->busy());
    w.BtnSartRec->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->busy(); }, 60000));
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("导出已取消。"));
    w.StopProcedure();
    ASSERT_TRUE(w.CaptureEngine->waitForWorker(20000));
    QStringList after = QDir(recordingFolder()).entryList(QDir::Files | QDir::Hidden);
    ASSERT_TRUE(after.removeOne("2.avi"));
    EXPECT_EQ(after, before);
    EXPECT_EQ(probedCodecs(recordingFolder() + "2.avi"), "msvideo1");
    w.hide();
}
