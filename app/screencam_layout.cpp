// Building the main window's controls. The layout follows the window's design from the outside in:
// frame strips, banner, folder bar, button column, recordings list, video area, picture panel, status.
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/playerbuttons.h"
#include "app/screencam.h"
#include "web/webbrowser.h"

namespace zelq {

namespace {

constexpr quint32 kControlBarColour = 16577512;  // RGB(232,243,252): the player's control bar

QWidget* panel(QWidget* parent, const char* name, quint32 colour = kWindowColour) {
    auto* w = named(new QWidget(parent), name);
    setBackgroundColour(w, colour);
    return w;
}

SkinButton* button(QWidget* parent, const char* name, const QString& caption, const QString& hint = {}) {
    return namedSkinButton(parent, name, caption, hint);
}

QSplitter* splitter(Qt::Orientation orientation, QWidget* parent, const char* name) {
    auto* s = named(new QSplitter(orientation, parent), name);
    s->setChildrenCollapsible(false);
    s->setHandleWidth(4);
    return s;
}

// The caption picture before the name box.
QPixmap captionPicture(const QString& text) {
    QFont font;
    font.setPixelSize(13);
    const QFontMetrics fm(font);
    QPixmap pixmap = sharpPixmap(QSize(fm.horizontalAdvance(text) + 8, 22));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setFont(font);
    p.setPen(QColor(24, 52, 92));
    p.drawText(QRect(QPoint(), pixmap.deviceIndependentSize().toSize()), Qt::AlignCenter, text);
    return pixmap;
}

}  // namespace

void TFrmScreenCam::buildLayout() {
    setBackgroundColour(this, kWindowColour);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    PnlTop = named(new SkinStrip(Qt::Horizontal, this), "PnlTop");
    PnlTop->setFixedHeight(15);
    PnlBottom = named(new SkinStrip(Qt::Horizontal, this), "PnlBottom");
    PnlBottom->setFixedHeight(11);
    ImgLeft = named(new SkinStrip(Qt::Vertical, this), "ImgLeft");
    ImgLeft->setFixedWidth(10);
    ImgRight = named(new SkinStrip(Qt::Vertical, this), "ImgRight");
    ImgRight->setFixedWidth(14);
    SbMain = panel(this, "SbMain");

    grid->addWidget(PnlTop, 0, 0, 1, 3);
    grid->addWidget(ImgLeft, 1, 0);
    grid->addWidget(SbMain, 1, 1);
    grid->addWidget(ImgRight, 1, 2);
    grid->addWidget(PnlBottom, 2, 0, 1, 3);
    // All room goes to the middle: with the frame strips hidden (the full-screen view) the grid would
    // otherwise share the width and height out among the empty rows and columns too.
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);

    auto* main = new QVBoxLayout(SbMain);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    main->addWidget(buildBanner());

    SplTop = splitter(Qt::Vertical, SbMain, "SplTop");
    SplTop->addWidget(buildFolderBar());
    SplL1 = splitter(Qt::Horizontal, SplTop, "SplL1");
    SplL1->addWidget(buildButtonColumn());
    SplL1->addWidget(buildCentre());
    SplL1->setStretchFactor(1, 1);
    SplL1->setSizes({129, 1000});
    SplTop->addWidget(SplL1);
    SplTop->setStretchFactor(1, 1);
    main->addWidget(SplTop, 1);
    main->addWidget(buildStatusLine());

    buildMenusAndTimers();
}

QWidget* TFrmScreenCam::buildBanner() {
    SbAvert = panel(SbMain, "SbAvert", kStripColour);
    SbAvert->setFixedHeight(62);
    auto* fill = new QHBoxLayout(SbAvert);
    fill->setContentsMargins(0, 0, 0, 0);
    // A transparent area over the whole strip: where no banner covers it, a click opens the site.
    Image48 = named(new QLabel(SbAvert), "Image48");
    Image48->setCursor(Qt::PointingHandCursor);
    fill->addWidget(Image48);
    // The banner browser lies over Image48, placed by hand: out of sight until a page passes its check.
    WebBrowserTop = named(new WebBrowser(SbAvert), "WebBrowserTop");
    WebBrowserTop->setGeometry(-4, -4, 1000, 70);
    WebBrowserTop->raise();
    return SbAvert;
}

QWidget* TFrmScreenCam::buildFolderBar() {
    SbFileSelect = panel(SplTop, "SbFileSelect");
    auto* outer = new QVBoxLayout(SbFileSelect);
    outer->setContentsMargins(0, 0, 0, 0);
    Panel2 = panel(SbFileSelect, "Panel2");
    Panel2->setFixedHeight(75);
    outer->addWidget(Panel2);

    auto* rows = new QVBoxLayout(Panel2);
    rows->setContentsMargins(8, 6, 8, 6);
    rows->setSpacing(6);
    auto* pathRow = new QHBoxLayout;
    auto* pathCaption = new QLabel(QStringLiteral("录像保存路径:"), Panel2);
    EdtRECPath = named(new QLineEdit(Panel2), "EdtRECPath");
    EdtRECPath->setToolTip(QStringLiteral("直接写入子文件夹名，按回车键，新路径将自动生成"));
    SpeedButton4 = button(Panel2, "SpeedButton4", QStringLiteral("选择文件夹"));
    BtnOpenDir = button(Panel2, "BtnOpenDir", QStringLiteral("打开文件夹"));
    for (SkinButton* b : {SpeedButton4, BtnOpenDir}) b->setFixedSize(86, 26);
    pathRow->addWidget(pathCaption);
    pathRow->addWidget(EdtRECPath, 1);
    pathRow->addWidget(SpeedButton4);
    pathRow->addWidget(BtnOpenDir);

    auto* nameRow = new QHBoxLayout;
    BtnAutoSave = button(Panel2, "BtnAutoSave", QStringLiteral("自动命名录像文件"));
    BtnAutoSave->setFixedSize(150, 26);
    ImgRectName = named(new QLabel(Panel2), "ImgRectName");
    ImgRectName->setPixmap(captionPicture(QStringLiteral("录像名称:")));
    EdtREC = named(new QLineEdit(QStringLiteral("REC1"), Panel2), "EdtREC");
    EdtREC->setToolTip(QStringLiteral("手动录像的保存名称"));
    EdtREC->setFixedWidth(200);
    nameRow->addWidget(BtnAutoSave);
    nameRow->addSpacing(12);
    nameRow->addWidget(ImgRectName);
    nameRow->addWidget(EdtREC);
    nameRow->addStretch(1);

    rows->addLayout(pathRow);
    rows->addLayout(nameRow);
    return SbFileSelect;
}

QWidget* TFrmScreenCam::buildButtonColumn() {
    SbLeft = panel(SplL1, "SbLeft");
    SbLeft->setMinimumWidth(129);
    auto* column = new QVBoxLayout(SbLeft);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    BtnSartRec = button(SbLeft, "BtnSartRec", QStringLiteral("全屏录像"),
                        QStringLiteral("开始录像后，按[ESC]可自动保存录像并返回本窗口"));
    BtnAreaScreenREC = button(SbLeft, "BtnAreaScreenREC", QStringLiteral("区域录像"));
    BtnStopRec = button(SbLeft, "BtnStopRec", QStringLiteral("停止录像"), QStringLiteral("停止录像"));
    BtnReplayRec = button(SbLeft, "BtnReplayRec", QStringLiteral("播放录像"), QStringLiteral("播放录像"));
    BtnAVIToPIC = button(SbLeft, "BtnAVIToPIC", QStringLiteral("录像转图片"), QStringLiteral("录像分解为图片"));
    BtnDefaultOpen = button(SbLeft, "BtnDefaultOpen", QStringLiteral("默认播放器"), QStringLiteral("默认播放器中打开"));
    SpeedButton5 = button(SbLeft, "SpeedButton5", QStringLiteral("删除录像"), QStringLiteral("删除屏幕录像"));
    BtnAlterName = button(SbLeft, "BtnAlterName", QStringLiteral("修改名称"), QStringLiteral("修改当前录像名称"));
    SpeedButton7 = button(SbLeft, "SpeedButton7", QStringLiteral("打开录像"), QStringLiteral("打开一个录像"));
    BtnFullScreen = button(SbLeft, "BtnFullScreen", QStringLiteral("全屏播放"), QStringLiteral("全屏显示"));
    BtnRectSet = button(SbLeft, "BtnRectSet", QStringLiteral("参数设置"));
    BtnHotKeySet = button(SbLeft, "BtnHotKeySet", QStringLiteral("热键设置"), QStringLiteral("热键设置"));
    BtnHelpDoc = button(SbLeft, "BtnHelpDoc", QStringLiteral("帮助文档"), QStringLiteral("帮助文档"));
    BtnAboutUS = button(SbLeft, "BtnAboutUS", QStringLiteral("关于我们"));
    SpeedButton9 = button(SbLeft, "SpeedButton9", QStringLiteral("退出"));
    BtnSendToUDisk = button(SbLeft, "BtnSendToUDisk", QStringLiteral("发送到U盘"));
    BtnPicToAVI = button(SbLeft, "BtnPicToAVI", QStringLiteral("图片合成录像"), QStringLiteral("图片合成录像"));
    for (SkinButton* b : {BtnSartRec, BtnAreaScreenREC, BtnStopRec, BtnReplayRec, BtnAVIToPIC, BtnDefaultOpen,
                          SpeedButton5, BtnAlterName, SpeedButton7, BtnFullScreen, BtnRectSet, BtnHotKeySet,
                          BtnHelpDoc, BtnAboutUS, SpeedButton9, BtnSendToUDisk, BtnPicToAVI}) {
        // Fifteen buttons must fit the restored window's 720 pixels with the banner and the folder bar.
        b->setFixedHeight(28);
        column->addWidget(b);
    }
    BtnSendToUDisk->hide();
    BtnPicToAVI->hide();
    column->addStretch(1);
    return SbLeft;
}

QWidget* TFrmScreenCam::buildCentre() {
    SbCenter = panel(SplL1, "SbCenter");
    auto* layout = new QVBoxLayout(SbCenter);
    layout->setContentsMargins(0, 0, 0, 0);
    SplB1 = splitter(Qt::Vertical, SbCenter, "SplB1");
    PnlVideo = panel(SplB1, "PnlVideo");
    auto* videoLayout = new QHBoxLayout(PnlVideo);
    videoLayout->setContentsMargins(0, 0, 0, 0);
    SplL2 = splitter(Qt::Horizontal, PnlVideo, "SplL2");

    SbVideoLeft = panel(SplL2, "SbVideoLeft");
    SbVideoLeft->setMinimumWidth(120);
    auto* listLayout = new QVBoxLayout(SbVideoLeft);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    auto* listTop = new SkinStrip(Qt::Horizontal, SbVideoLeft);
    listTop->setFixedHeight(8);
    auto* listBottom = new SkinStrip(Qt::Horizontal, SbVideoLeft);
    listBottom->setFixedHeight(8);
    LbVideoList = named(new QListWidget(SbVideoLeft), "LbVideoList");
    LbVideoList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LbVideoList->setFrameShape(QFrame::NoFrame);
    LbVideoList->setToolTip(QStringLiteral("鼠标右键有更多功能"));
    QFont listFont(QStringLiteral("宋体"));
    listFont.setPixelSize(13);
    LbVideoList->setFont(listFont);
    QPalette listPalette = LbVideoList->palette();
    listPalette.setColor(QPalette::Base, colourFromBgr(kWindowColour));
    LbVideoList->setPalette(listPalette);
    LbVideoList->setContextMenuPolicy(Qt::CustomContextMenu);
    listLayout->addWidget(listTop);
    listLayout->addWidget(LbVideoList, 1);
    listLayout->addWidget(listBottom);

    SplL2->addWidget(SbVideoLeft);
    SplL2->addWidget(buildVideoArea());
    SplL2->setStretchFactor(1, 1);
    SplL2->setSizes({185, 1000});
    videoLayout->addWidget(SplL2);

    SplB1->addWidget(PnlVideo);
    SplB1->addWidget(buildPicturePanel());
    SplB1->setStretchFactor(0, 1);
    layout->addWidget(SplB1);
    return SbCenter;
}

QWidget* TFrmScreenCam::buildVideoArea() {
    SbVideo = panel(SplL2, "SbVideo");
    auto* layout = new QVBoxLayout(SbVideo);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    SbVideoScreen = panel(SbVideo, "SbVideoScreen");
    PnlVideoControl = panel(SbVideo, "PnlVideoControl", kControlBarColour);
    PnlVideoControl->setFixedHeight(35);
    auto* controls = new QHBoxLayout(PnlVideoControl);
    controls->setContentsMargins(8, 5, 8, 5);
    controls->setSpacing(4);
    BtnPlay = namedPlayerButton(PnlVideoControl, "BtnPlay", PlayerGlyph::Play, QStringLiteral("播放录像"));
    BtnPause =
        namedPlayerButton(PnlVideoControl, "BtnPause", PlayerGlyph::Pause, QStringLiteral("暂停录像播放"));
    BtnStop =
        namedPlayerButton(PnlVideoControl, "BtnStop", PlayerGlyph::Stop, QStringLiteral("停止录像播放"));
    FullScreenBtn = namedPlayerButton(PnlVideoControl, "FullScreenBtn", PlayerGlyph::FullScreen,
                                      QStringLiteral("全屏显示录像"));
    for (SkinButton* b : {BtnPlay, BtnPause, BtnStop, FullScreenBtn}) controls->addWidget(b);
    controls->addStretch(1);
    PnlVideoControl->hide();
    layout->addWidget(SbVideoScreen, 1);
    layout->addWidget(PnlVideoControl);
    return SbVideo;
}

QWidget* TFrmScreenCam::buildPicturePanel() {
    PnlPic = panel(SplB1, "PnlPic");
    PnlPic->setFixedHeight(183);
    auto* layout = new QVBoxLayout(PnlPic);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = panel(PnlPic, "Panel1", kStripColour);
    Panel1->setFixedHeight(26);
    auto* tools = new QHBoxLayout(Panel1);
    tools->setContentsMargins(4, 1, 4, 1);
    BtnLoadPics = button(Panel1, "BtnLoadPics", QStringLiteral("加入图片"), QStringLiteral("加入多个图片"));
    SpeedButton13 = button(Panel1, "SpeedButton13", QStringLiteral("删除图片"), QStringLiteral("删除多个图片"));
    SpeedButton14 = button(Panel1, "SpeedButton14", QStringLiteral("上移"), QStringLiteral("图片上移"));
    BtnPicMoveDown = button(Panel1, "BtnPicMoveDown", QStringLiteral("下移"), QStringLiteral("图片下移"));
    BtnPicSort = button(Panel1, "BtnPicSort", QStringLiteral("Sort"), QStringLiteral("Sort"));
    BtnCreateAVI = button(Panel1, "BtnCreateAVI", QStringLiteral("保存录像"), QStringLiteral("保存为.AVI文件并预览"));
    spinRate = named(new QSpinBox(Panel1), "spinRate");
    spinRate->setRange(1, 100);
    spinRate->setValue(10);
    spinRate->setToolTip(QStringLiteral("每秒包含的帧数"));
    for (QWidget* w : std::initializer_list<QWidget*>{BtnLoadPics, SpeedButton13, SpeedButton14, BtnPicMoveDown,
                                                      BtnPicSort, spinRate, BtnCreateAVI}) {
        tools->addWidget(w);
        w->hide();
    }
    tools->addStretch(1);
    BtnClosePICPan = button(Panel1, "BtnClosePICPan", QStringLiteral("关闭"));
    BtnClosePICPan->setFixedSize(54, 22);
    tools->addWidget(BtnClosePICPan);
    layout->addWidget(Panel1);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    Panel3 = panel(PnlPic, "Panel3");
    Panel3->setFixedWidth(220);
    auto* listSide = new QVBoxLayout(Panel3);
    listSide->setContentsMargins(4, 2, 4, 4);
    GBPicList = named(new QGroupBox(QStringLiteral("图片路径"), Panel3), "GBPicList");
    auto* groupLayout = new QVBoxLayout(GBPicList);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    BitmapListBox = named(new QListWidget(GBPicList), "BitmapListBox");
    BitmapListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    BitmapListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    // Every item is one line of text: the list lays out thousands of them at once without measuring each.
    BitmapListBox->setUniformItemSizes(true);
    groupLayout->addWidget(BitmapListBox);
    listSide->addWidget(GBPicList);

    Panel5 = panel(PnlPic, "Panel5");
    auto* previewSide = new QVBoxLayout(Panel5);
    previewSide->setContentsMargins(4, 2, 4, 4);
    LblCurPicName = named(new QLabel(QStringLiteral("   当前图片"), Panel5), "LblCurPicName");
    // The preview scrolls: a picture larger than the panel (any 1080p or 4K frame) must never make the
    // window wider than the screen.
    ScrollBox2 = named(new QScrollArea(Panel5), "ScrollBox2");
    ScrollBox2->setFrameShape(QFrame::NoFrame);
    ScrollBox2->setWidgetResizable(true);
    setBackgroundColour(ScrollBox2->viewport(), kWindowColour);
    BitmapImage = named(new QLabel, "BitmapImage");
    BitmapImage->setAlignment(Qt::AlignCenter);
    setBackgroundColour(BitmapImage, kWindowColour);
    ScrollBox2->setWidget(BitmapImage);
    previewSide->addWidget(LblCurPicName);
    previewSide->addWidget(ScrollBox2, 1);

    body->addWidget(Panel3);
    body->addWidget(Panel5, 1);
    layout->addLayout(body, 1);
    PnlPic->hide();
    return PnlPic;
}

QLabel* TFrmScreenCam::buildStatusLine() {
    LblHint = named(new QLabel(SbMain), "LblHint");
    LblHint->setFixedHeight(20);
    LblHint->setContentsMargins(6, 0, 6, 0);
    LblHint->setFrameShape(QFrame::StyledPanel);
    LblHint->setFrameShadow(QFrame::Sunken);
    ProgressBar1 = named(new QProgressBar(LblHint), "ProgressBar1");
    ProgressBar1->setGeometry(520, 2, 300, 16);
    ProgressBar1->hide();
    return LblHint;
}

void TFrmScreenCam::buildMenusAndTimers() {
    PmRecList = named(new QMenu(this), "PmRecList");
    N2 = named(PmRecList->addAction(QStringLiteral("打开录像")), "N2");
    MnDeleteREC = named(PmRecList->addAction(QStringLiteral("删除录像")), "MnDeleteREC");
    MnUpdateRECName = named(PmRecList->addAction(QStringLiteral("修改名称")), "MnUpdateRECName");
    N4 = named(PmRecList->addAction(QStringLiteral("在默认播放器中打开")), "N4");
    N5 = named(PmRecList->addAction(QStringLiteral("打开所在文件夹")), "N5");
    PmRecList->addSeparator();
    MnExportMP4 = named(PmRecList->addAction(QStringLiteral("导出为 MP4…")), "MnExportMP4");
    MnExportWebM = named(PmRecList->addAction(QStringLiteral("导出为 WebM…")), "MnExportWebM");
    MnExportGIF = named(PmRecList->addAction(QStringLiteral("导出为 GIF…")), "MnExportGIF");
    PmPicList = named(new QMenu(this), "PmPicList");
    MnOpenPicPath = named(PmPicList->addAction(QStringLiteral("打开所在文件夹")), "MnOpenPicPath");

    // One second after each showing of the window; stopped by its own tick (connectHandlers), so it
    // never runs while the program is idle.
    TimerFirstRun = named(new QTimer(this), "TimerFirstRun");
    TimerFirstRun->setInterval(1000);
    TimerRunAvert = named(new QTimer(this), "TimerRunAvert");
    TimerRunAvert->setInterval(90000);
    TimerCheckTopBrowser = named(new QTimer(this), "TimerCheckTopBrowser");
    TimerCheckTopBrowser->setInterval(1000);

    OpenDialog1.filter = QStringLiteral("AVI File (*.avi)|*.avi");
    SaveAVIDialog.filter = QStringLiteral("AVI-Files (*.avi)|*.avi");
    SaveAVIDialog.defaultExt = QStringLiteral("avi");
    AddBitmapDialog.filter = QStringLiteral("Bitmaps|*.bmp|Icons|*.ico");
    AddBitmapDialog.defaultExt = QStringLiteral("bmp");
}

}  // namespace zelq
