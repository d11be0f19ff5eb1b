// Playing recordings in the main window: the replay button's messages, a recording played into the video
// panel (its pixels checked against ffmpeg's decoding of the same file), the control bar, and the
// full-screen view with its two-stage Esc.
#include <QApplication>
#include <QSplitterHandle>
#include <QTest>

#include "app/player/mediaplayer.h"
#include "common/ffmpeg_frames.h"
#include "mainwindow_fixture.h"
#include "vfw_testkit.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
           std::abs(qBlue(a) - qBlue(b)) <= 12;
}

}  // namespace

TEST_F(MainWindowTest, ReplayTellsWhatIsMissingOrPlaysTheSelectedRecordingIntoThePanel) {
    TFrmScreenCam& w = open();
    w.show();
    w.BtnReplayRec->click();
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("没有任何录像。"));
    EXPECT_FALSE(w.MediaPlayer1->Mode().has_value());

    // Four quarters of different colours, changing every frame; the panel shows the last frame at the end.
    const QString path = recordingFolder() + QStringLiteral("回放.avi");
    ::test::Recording rec;
    rec.width = 160;
    rec.height = 120;
    rec.positions = {0, 1, 2, 5};
    rec.picture = [](int x, int y, int frame) {
        const int q = (x < 80 ? 0 : 1) + (y < 60 ? 0 : 2);
        return ::test::Rgb{(q * 64 + frame * 40) % 256 & 0xf8, (q * 112) & 0xf8, (255 - frame * 48) & 0xf8};
    };
    ASSERT_EQ(::test::writeRecording(path, rec), zelq::AVIERR_OK);
    const ::test::Probe probe = ::test::probe(path);
    ASSERT_EQ(probe.headerFrames, 6);
    w.RefreshRecordingList();
    w.LbVideoList->setCurrentRow(-1);
    w.BtnReplayRec->click();
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("请选择一个录像。"));
    EXPECT_EQ(dialogs.messages(),
              (std::vector<QString>{QStringLiteral("没有任何录像。"), QStringLiteral("请选择一个录像。")}));

    w.LbVideoList->setCurrentRow(0);
    w.BtnReplayRec->click();
    EXPECT_EQ(w.CurrentFilePath, path);
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("开始播放") + path);
    EXPECT_TRUE(w.PnlVideoControl->isVisible());
    EXPECT_EQ(w.MediaPlayer1->Mode(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(w.MediaPlayer1->Mode(), std::optional<int>(1), 5000);

    // The whole panel holds the last frame, stretched: each quarter's middle against ffmpeg's pixels.
    const QImage decoded = zelq::test::lastFrameByFfmpeg(path, 160, 120);
    ASSERT_FALSE(decoded.isNull());
    QApplication::processEvents();
    const QImage panel = w.SbVideoScreen->grab().toImage();
    for (const QPointF& at : {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
        const QRgb want = decoded.pixel(int(at.x() * 160), int(at.y() * 120));
        const QRgb got = panel.pixel(int(at.x() * panel.width()), int(at.y() * panel.height()));
        EXPECT_TRUE(near(got, want)) << at.x() << "," << at.y() << ": " << std::hex << got << " vs " << want;
    }

    // Play after the end starts again at the first frame; pause twice resumes; stop keeps the place.
    std::uint32_t position = 99;
    w.BtnPlay->click();
    EXPECT_EQ(w.MediaPlayer1->Mode(), 2);
    w.MediaPlayer1->device().status(MciStatusItem::Position, position);
    EXPECT_LT(position, 3u);
    w.BtnPause->click();
    EXPECT_EQ(w.MediaPlayer1->Mode(), 5);
    w.BtnPause->click();
    EXPECT_EQ(w.MediaPlayer1->Mode(), 2);
    w.BtnStop->click();
    EXPECT_EQ(w.MediaPlayer1->Mode(), 1);

    // A file chosen through the dialog plays, leaving the current recording and the status line alone.
    w.ClosePlayer();
    const QString hint = w.LblHint->text();
    dialogs.answerPicker(path);
    w.SpeedButton7->click();
    EXPECT_EQ(w.MediaPlayer1->Mode(), 2);
    EXPECT_EQ(w.MediaPlayer1->FileName, path);
    EXPECT_EQ(w.LblHint->text(), hint);

    // Deleting closes the player first, so the file is not held.
    w.LbVideoList->item(0)->setSelected(true);
    w.DeleteSelectedRecordings();
    EXPECT_FALSE(w.MediaPlayer1->Mode().has_value());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(dialogs.messages().size(), 2u);
}

TEST_F(MainWindowTest, FullScreenViewAndItsTwoStageEsc) {
    TFrmScreenCam& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // No control holds the focus (the folder box would set the current path on losing it).
    if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
    w.CurrentFilePath = QStringLiteral("/录像/a.avi");
    w.PicPanelOpen = true;
    w.PnlPic->show();
    const QString fileCaption = QStringLiteral("当前文件：/录像/a.avi");
    auto chromeShown = [&w] {
        return w.PnlTop->isVisible() && w.PnlBottom->isVisible() && w.SbLeft->isVisible() &&
               w.SbFileSelect->isVisible() && w.SbVideoLeft->isVisible() && w.ImgLeft->isVisible() &&
               w.ImgRight->isVisible() && w.SplL1->handle(1)->isVisible() && w.SplTop->handle(1)->isVisible();
    };
    auto chromeHidden = [&w] {
        return w.PnlTop->isHidden() && w.PnlBottom->isHidden() && w.SbLeft->isHidden() && w.SbFileSelect->isHidden() &&
               w.SbVideoLeft->isHidden() && w.ImgLeft->isHidden() && w.ImgRight->isHidden() &&
               w.SplL1->handle(1)->isHidden() && w.SplB1->handle(1)->isHidden();
    };

    w.BtnFullScreen->click();
    EXPECT_TRUE(w.FullScreen);
    EXPECT_TRUE(chromeHidden());
    EXPECT_TRUE(w.SbAvert->isHidden());
    EXPECT_TRUE(w.PnlPic->isHidden());
    EXPECT_TRUE(w.SbVideoScreen->isVisible());
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w.windowTitle(), fileCaption);

    // Esc that the window gets itself: both stages, the view is left with the banner and the picture panel.
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.FullScreen);
    EXPECT_TRUE(chromeShown());
    EXPECT_TRUE(w.SbAvert->isVisible());
    EXPECT_TRUE(w.PnlPic->isVisible());
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w.windowTitle(), fileCaption);

    // A double-click on the video leaves the view but not the toggle: the banner stays hidden and the
    // next toggle press only leaves again.
    w.FullScreenBtn->click();
    QTest::mouseDClick(w.SbVideoScreen, Qt::LeftButton);
    EXPECT_TRUE(chromeShown());
    EXPECT_TRUE(w.FullScreen);
    EXPECT_TRUE(w.SbAvert->isHidden());
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);

    // Esc while a control has the focus: only the chrome and the caption; banner and toggle stay.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.LbVideoList->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w.LbVideoList);
    QTest::keyClick(w.LbVideoList, Qt::Key_Escape);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ZELQ屏幕录像助手1.2"));
    EXPECT_TRUE(w.FullScreen);
    EXPECT_TRUE(w.SbAvert->isHidden());

    w.BtnFullScreen->click();
    EXPECT_FALSE(w.FullScreen);
    EXPECT_TRUE(w.SbAvert->isVisible());
    EXPECT_TRUE(chromeShown());
    // Entering the view hides the list that has the focus: it takes no key, so Esc is the window's,
    // although the short-cut stage shows the list again before the key gets there.
    w.PicPanelOpen = false;
    w.PnlPic->hide();
    w.LbVideoList->setFocus();
    w.BtnFullScreen->click();
    EXPECT_TRUE(w.FullScreen);
    EXPECT_TRUE(chromeHidden());
    ASSERT_EQ(QApplication::focusWidget(), w.LbVideoList);
    QTest::keyClick(w.LbVideoList, Qt::Key_Escape);
    EXPECT_FALSE(w.FullScreen);
    EXPECT_TRUE(w.SbAvert->isVisible());
}

TEST_F(MainWindowTest, TheControlBarHasFourFlatPictureButtons) {
    TFrmScreenCam& w = open();
    EXPECT_EQ(w.PnlVideoControl->palette().color(QPalette::Window), QColor(232, 243, 252));
    const std::vector<std::pair<SkinButton*, QString>> buttons{
        {w.BtnPlay, QStringLiteral("播放录像")},
        {w.BtnPause, QStringLiteral("暂停录像播放")},
        {w.BtnStop, QStringLiteral("停止录像播放")},
        {w.FullScreenBtn, QStringLiteral("全屏显示录像")}};
    std::vector<QImage> faces;
    for (const auto& [button, hint] : buttons) {
        EXPECT_EQ(button->size(), QSize(25, 25));
        EXPECT_EQ(button->toolTip(), hint);
        // Painted at twice the pixel density, as on a high-density screen: the glyph is drawn at that
        // density, so it has dark pixels of its own.
        QImage face(50, 50, QImage::Format_RGB32);
        face.setDevicePixelRatio(2);
        face.fill(Qt::white);
        button->render(&face);
        int dark = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 50; ++x) dark += qGray(face.pixel(x, y)) < 100;
        EXPECT_GT(dark, 60) << hint.toStdString();
        faces.push_back(face);
    }
    for (size_t i = 0; i < faces.size(); ++i)
        for (size_t j = i + 1; j < faces.size(); ++j) EXPECT_NE(faces[i], faces[j]) << i << " " << j;
}
