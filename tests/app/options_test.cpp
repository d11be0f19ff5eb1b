// The options dialog: its scales, priming and storing through the main window's button, the key-frame
// text's failure rule, small catalogues, and the autorun box's session entry.
#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <functional>

#include "app/optdlg.h"
#include "app/optionscales.h"
#include "capture/scrcam/scrcam.h"
#include "mainwindow_fixture.h"

using namespace zelq;

namespace {

class OptionsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        oldConfigDirs = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_DIRS", dir.filePath("xdg").toUtf8());
        AutoRunEnabled = false;
        cam = open().CaptureEngine.get();
    }
    void TearDown() override {
        qputenv("XDG_CONFIG_DIRS", oldConfigDirs);
        MainWindowTest::TearDown();
    }
    // Opens the dialog as the button does and acts on it while it is up; it is cancelled if the action
    // left it open.
    void withDialog(const std::function<void(TOptionDlg&)>& action, TOptionDlg* direct = nullptr) {
        QTimer::singleShot(0, [action] {
            auto* dialog = qobject_cast<TOptionDlg*>(QApplication::activeModalWidget());
            if (!dialog) return ADD_FAILURE() << "no options dialog";
            action(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        if (direct) {
            direct->RunOptionsDialog();
        } else {
            window->BtnRectSet->click();
        }
    }

    QByteArray oldConfigDirs;
    TScreenCam* cam = nullptr;
};

}  // namespace

TEST(OptionScales, TellingRowsRoundHalvesToEvenAndNothingIsUndefined) {
    EXPECT_EQ(positionFromMsPerFrame(100, 1000), 419);
    EXPECT_EQ(msPerFrameFromPosition(419, 1000), 100);
    EXPECT_EQ(positionFromMsPerFrame(1000, 1000), 628);
    EXPECT_EQ(msPerFrameFromPosition(628, 1000), 997);
    EXPECT_EQ(msPerFrameFromPosition(50, 1000), 2);
    EXPECT_EQ(msPerFrameFromPosition(500, 1000), 244);
    EXPECT_EQ(msPerFrameFromPosition(999, 1000), 59343);
    EXPECT_EQ(msPerFrameFromPosition(1, 1000), 1);
    EXPECT_EQ(msPerFrameFromPosition(1000, 1000), 60000);
    EXPECT_EQ(positionFromFrameRate(10, 1000), 183);
    EXPECT_EQ(frameRateFromPosition(183, 1000), 10);
    EXPECT_EQ(frameRateFromPosition(500, 1000), 25);
    EXPECT_EQ(positionFromQuality(6550, 100), 66);  // 65.5: to the even neighbour
    EXPECT_EQ(qualityFromPosition(66, 100), 6600);
    EXPECT_EQ(positionFromQuality(6450, 100), 64);  // 64.5
    EXPECT_EQ(roundHalfEven(-2.5L), -2);
    // Intervals without a logarithm and a bar without length land below the bar instead of in
    // undefined behaviour.
    EXPECT_LT(positionFromMsPerFrame(0, 1000), 1);
    EXPECT_LT(positionFromMsPerFrame(-5, 1000), 1);
    EXPECT_EQ(frameRateFromPosition(1, 1), 0);
}

TEST_F(OptionsTest, PrimesFromTheEngineStoresOnOkAndNothingOnCancel) {
    withDialog([](TOptionDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("参数设置"));
        EXPECT_EQ(d.TrackBarRecord->value(), 419);
        EXPECT_EQ(d.TrackBarPlayback->value(), 183);
        EXPECT_EQ(d.TrackBarQuality->value(), 66);
        EXPECT_EQ(d.labelmspFrecord->text(), "100 ms");
        EXPECT_EQ(d.labelFPSPlayback->text(), "10 fps");
        EXPECT_EQ(d.LabelQuality->text(), "66");
        EXPECT_EQ(d.EditKeyFrames->text(), "5");
        EXPECT_GE(d.ComboBoxCompressor->count(), 4);
        EXPECT_EQ(d.ComboBoxCompressor->currentText(), "Microsoft Video 1");
        EXPECT_TRUE(d.ButtonAbout->isEnabled());
        EXPECT_FALSE(d.ButtonConfig->isEnabled());
        d.BitBtn1->click();
    });
    EXPECT_EQ(cam->MsPerFrame, 100);
    EXPECT_EQ(cam->PlaybackRate, 10);
    EXPECT_EQ(cam->KeyFrameEvery, 5);
    EXPECT_EQ(cam->Quality, 6600);
    EXPECT_EQ(cam->CodecIndex, 0);

    // The list opens on its first entry whatever was chosen; 1000 ms comes back as 997 ms.
    cam->MsPerFrame = 1000;
    cam->SelectCodec(2);
    TOptionDlg* first = window->OptionDlg;
    withDialog([](TOptionDlg& d) {
        EXPECT_EQ(d.ComboBoxCompressor->currentIndex(), 0);
        d.BitBtn1->click();
    });
    EXPECT_EQ(window->OptionDlg, first);
    EXPECT_EQ(cam->MsPerFrame, 997);
    EXPECT_EQ(cam->CodecIndex, 0);
    EXPECT_EQ(cam->CodecFourCC.load(), kCodecMSVC);

    withDialog([](TOptionDlg& d) {
        d.ComboBoxCompressor->setCurrentIndex(1);
        d.TrackBarPlayback->setValue(500);
        EXPECT_EQ(d.labelFPSPlayback->text(), "25 fps");
        d.BitBtn2->click();
    });
    EXPECT_EQ(cam->CodecIndex, 0);
    EXPECT_EQ(cam->PlaybackRate, 10);
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(OptionsTest, AKeyFrameTextThatIsNoDecimalNumberStopsTheStoringAfterTheQuality) {
    const struct {
        const char* text;
        bool stored;
        int value;
    } cases[] = {{"abc", false, 0}, {"", false, 0},  {"2147483648", false, 0}, {"0x10", false, 0},
                 {"-5", true, -5},  {"0", true, 0}, {" 12", true, 12}};
    for (const auto& c : cases) {
        cam->KeyFrameEvery = 5;
        cam->MsPerFrame = 100;
        cam->PlaybackRate = 10;
        cam->SelectCodec(0);
        withDialog([&c](TOptionDlg& d) {
            d.ComboBoxCompressor->setCurrentIndex(1);
            d.TrackBarQuality->setValue(80);
            d.EditKeyFrames->setText(c.text);
            d.TrackBarRecord->setValue(50);
            d.TrackBarPlayback->setValue(500);
            d.BitBtn1->click();
        });
        SCOPED_TRACE(c.text);
        EXPECT_EQ(cam->CodecIndex, 1);
        EXPECT_EQ(cam->Quality, 8000);
        EXPECT_EQ(cam->KeyFrameEvery, c.stored ? c.value : 5);
        EXPECT_EQ(cam->MsPerFrame, c.stored ? 2 : 100);
        EXPECT_EQ(cam->PlaybackRate, c.stored ? 25 : 10);
    }
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(OptionsTest, AnEmptyCatalogueSelectsNoneAndAOneEntryCatalogueItsEntry) {
    cam->EnumerateCodecs();
    TOptionDlg dialog(cam, window.get());
    cam->CodecCount = 0;
    withDialog(
        [](TOptionDlg& d) {
            EXPECT_EQ(d.ComboBoxCompressor->count(), 0);
            EXPECT_FALSE(d.ButtonAbout->isEnabled());
            EXPECT_FALSE(d.ButtonConfig->isEnabled());
            d.ButtonAboutClick();  // reaches the engine as 255: nothing happens
            d.BitBtn1->click();
        },
        &dialog);
    EXPECT_EQ(cam->CodecIndex, -1);
    EXPECT_EQ(cam->CodecFourCC.load(), kCodecMSVC);

    cam->CodecCount = 1;
    withDialog(
        [](TOptionDlg& d) {
            EXPECT_EQ(d.ComboBoxCompressor->count(), 1);
            d.ButtonAbout->click();
            d.BitBtn1->click();
        },
        &dialog);
    EXPECT_EQ(cam->CodecIndex, 0);
    ASSERT_EQ(dialogs.messages().size(), 1u);  // the one About box
    EXPECT_EQ(dialogs.calls()[0].caption, "Microsoft Video 1");
}

TEST_F(OptionsTest, TheAutorunBoxWritesAndRemovesTheSessionEntryAtOnce) {
    const QString entry = dir.filePath("xdg/autostart/ZELQ屏幕录像助手.desktop");
    withDialog([](TOptionDlg& d) {
        d.MnAutoRun->click();
        d.BitBtn2->click();  // cancelling does not undo it
    });
    EXPECT_TRUE(AutoRunEnabled);
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n"));
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    ASSERT_FALSE(validator.isEmpty()) << "scripts/install-deps.sh installs desktop-file-utils";
    QProcess check;
    check.start(validator, {entry});
    ASSERT_TRUE(check.waitForFinished());
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();

    // The box shows the state it was left in; clearing it removes the entry.
    withDialog([](TOptionDlg& d) {
        EXPECT_TRUE(d.MnAutoRun->isChecked());
        d.MnAutoRun->click();
    });
    EXPECT_FALSE(AutoRunEnabled);
    EXPECT_FALSE(QFile::exists(entry));

    // Where nothing can be written the choice still holds, and nothing is said.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("XDG_CONFIG_DIRS", blocker.fileName().toUtf8() + "/xdg");  // a folder below a file
    withDialog([](TOptionDlg& d) { d.MnAutoRun->click(); });
    EXPECT_TRUE(AutoRunEnabled);
    EXPECT_TRUE(dialogs.calls().empty());
    closeProgram();
    EXPECT_TRUE(settingsText().contains("AutoRun=1"));
}
