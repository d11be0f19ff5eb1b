// The options dialog: its scales, priming and storing through the main window's button, the key-frame
// text's failure rule, small catalogues, and the autorun box's session entry.
#include <QApplication>
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
    // Runs the dialog (by default as the main window's button does) and acts on it while it is up; it
    // is cancelled if the action left it open.
    void withDialog(const std::function<void(TOptionDlg&)>& action, const std::function<void()>& run = {}) {
        QTimer::singleShot(0, [action] {
            auto* dialog = qobject_cast<TOptionDlg*>(QApplication::activeModalWidget());
            if (!dialog) return ADD_FAILURE() << "no options dialog";
            action(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        run ? run() : window->BtnRectSet->click();
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
    EXPECT_EQ(positionFromFrameRate(10, 1000), 183);
    EXPECT_EQ(frameRateFromPosition(183, 1000), 10);
    EXPECT_EQ(frameRateFromPosition(500, 1000), 25);
    EXPECT_EQ(positionFromQuality(6550, 100), 66);  // 65.5: to the even neighbour
    EXPECT_EQ(qualityFromPosition(66, 100), 6600);
    EXPECT_EQ(positionFromQuality(6450, 100), 64);  // 64.5
    // Intervals without a logarithm and a bar without length give a result below the bar, not
    // undefined behaviour.
    EXPECT_LT(positionFromMsPerFrame(0, 1000), 1);
    EXPECT_LT(positionFromMsPerFrame(-5, 1000), 1);
    EXPECT_EQ(frameRateFromPosition(1, 1), 0);
}

TEST_F(OptionsTest, PrimesFromTheEngineStoresOnOkAndNothingOnCancel) {
    withDialog([](TOptionDlg& d) {
        EXPECT_EQ(d.TrackBarRecord->value(), 419);
        EXPECT_EQ(d.TrackBarPlayback->value(), 183);
        EXPECT_EQ(d.TrackBarQuality->value(), 66);
        EXPECT_EQ(d.labelmspFrecord->text() + d.labelFPSPlayback->text() + d.LabelQuality->text(),
                  "100 ms10 fps66");
        EXPECT_EQ(d.EditKeyFrames->text(), "5");
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

    // The same dialog; the list opens on its first entry whatever was chosen; 1000 ms comes back as 997.
    cam->MsPerFrame = 1000;
    cam->SelectCodec(2);
    TOptionDlg* first = window->OptionDlg;
    withDialog([](TOptionDlg& d) { d.BitBtn1->click(); });
    EXPECT_EQ(window->OptionDlg, first);
    EXPECT_EQ(cam->MsPerFrame, 997);
    EXPECT_EQ(cam->CodecFourCC.load(), kCodecMSVC);

    withDialog([](TOptionDlg& d) {
        d.ComboBoxCompressor->setCurrentIndex(1);
        d.TrackBarPlayback->setValue(500);
        EXPECT_EQ(d.labelFPSPlayback->text(), "25 fps");
        d.BitBtn2->click();
    });
    EXPECT_EQ(cam->CodecIndex, 0);
    EXPECT_EQ(cam->PlaybackRate, 10);
}

TEST_F(OptionsTest, AKeyFrameTextThatIsNoDecimalNumberStopsTheStoringAfterTheQuality) {
    for (const char* text : {"abc", "", "2147483648", "0x10", "-5"}) {
        const bool number = text == std::string("-5");
        cam->KeyFrameEvery = 5;
        cam->MsPerFrame = 100;
        cam->SelectCodec(0);
        withDialog([text](TOptionDlg& d) {
            d.ComboBoxCompressor->setCurrentIndex(1);
            d.TrackBarQuality->setValue(80);
            d.EditKeyFrames->setText(text);
            d.TrackBarRecord->setValue(50);
            d.BitBtn1->click();
        });
        SCOPED_TRACE(text);
        EXPECT_EQ(cam->CodecIndex, 1);
        EXPECT_EQ(cam->Quality, 8000);
        EXPECT_EQ(cam->KeyFrameEvery, number ? -5 : 5);
        EXPECT_EQ(cam->MsPerFrame, number ? 2 : 100);
    }
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(OptionsTest, AnEmptyCatalogueSelectsNoneAndAOneEntryCatalogueItsEntry) {
    cam->EnumerateCodecs();
    TOptionDlg dialog(cam, window.get());
    for (int count : {0, 1}) {
        cam->CodecCount = count;
        withDialog(
            [count](TOptionDlg& d) {
                EXPECT_EQ(d.ComboBoxCompressor->count(), count);
                EXPECT_EQ(d.ButtonAbout->isEnabled(), count == 1);
                d.ButtonAboutClick();  // with no entry it reaches the engine as 255 and does nothing
                d.BitBtn1->click();
            },
            [&dialog] { dialog.RunOptionsDialog(); });
        EXPECT_EQ(cam->CodecIndex, count - 1);
        EXPECT_EQ(cam->CodecFourCC.load(), kCodecMSVC);
    }
    EXPECT_EQ(dialogs.messages().size(), 1u);  // the one entry's About box
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

TEST_F(OptionsTest, TheSoundChoiceHoldsForTheRunOnlyAndSurvivesABadKeyFrameText) {
    withDialog([](TOptionDlg& d) {
        EXPECT_EQ(d.GroupBoxSound->title(), "声音");
        ASSERT_EQ(d.ComboBoxSound->count(), 4);
        EXPECT_EQ(d.ComboBoxSound->itemText(0) + d.ComboBoxSound->itemText(1) + d.ComboBoxSound->itemText(2) +
                      d.ComboBoxSound->itemText(3),
                  "不录制声音录制电脑播放的声音录制麦克风电脑声音和麦克风");
        EXPECT_EQ(d.ComboBoxSound->currentIndex(), 0);
        d.ComboBoxSound->setCurrentIndex(3);
        d.EditKeyFrames->setText("abc");  // stops the storing of the bars, not of the sound
        d.BitBtn1->click();
    });
    EXPECT_EQ(cam->Sound, sound::SoundChoice::Both);
    withDialog([](TOptionDlg& d) {
        EXPECT_EQ(d.ComboBoxSound->currentIndex(), 3);
        d.ComboBoxSound->setCurrentIndex(1);
        d.BitBtn2->click();
    });
    EXPECT_EQ(cam->Sound, sound::SoundChoice::Both);
    closeProgram();
    EXPECT_FALSE(settingsText().contains("ound")) << settingsText().toStdString();
}
