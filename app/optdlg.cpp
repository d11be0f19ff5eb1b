#include "app/optdlg.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "app/globalparam.h"
#include "app/optionscales.h"
#include "capture/scrcam/scrcam.h"
#include "platform/autostart.h"
#include "platform/guard.h"
#include "platform/textnum.h"

namespace zelq {

namespace {

QSlider* trackBar(QWidget* parent, const char* name, int minimum, int maximum) {
    auto* bar = named(new QSlider(Qt::Horizontal, parent), name);
    bar->setRange(minimum, maximum);
    bar->setValue(50);
    bar->setTickPosition(QSlider::NoTicks);
    return bar;
}

// The entry's description field, which fills all of its 128 units when the text is that long.
QString description(const ICINFO& entry) {
    const std::size_t size = std::size(entry.szDescription);
    const auto* end = std::find(entry.szDescription, entry.szDescription + size, u'\0');
    return QString::fromUtf16(entry.szDescription, end - entry.szDescription);
}

// A bar with the texts of its two ends beside it.
QHBoxLayout* barRow(QWidget* parent, const QString& left, QSlider* bar, const QString& right) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(left, parent));
    row->addWidget(bar, 1);
    row->addWidget(new QLabel(right, parent));
    return row;
}

}  // namespace

TOptionDlg::TOptionDlg(TScreenCam* cam, QWidget* owner) : QDialog(owner), cam_(cam) {
    setObjectName(QStringLiteral("OptionDlg"));
    setWindowTitle(QStringLiteral("参数设置"));
    installSkinFrame(this);

    buildCompressorGroup();
    buildRecordGroup();
    buildPlaybackGroup();
    buildSoundGroup();
    MnAutoRun = named(new QCheckBox(QStringLiteral("开机时自动启动"), this), "MnAutoRun");
    BitBtn1 = namedSkinButton(this, "BitBtn1", QStringLiteral("确定"));
    BitBtn2 = namedSkinButton(this, "BitBtn2", QStringLiteral("取消"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSkinMargins + QMargins(8, 6, 8, 6));
    layout->addWidget(Compressor);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addWidget(GroupBoxSound);
    layout->addWidget(MnAutoRun);
    layout->addLayout(dialogButtonRow({BitBtn1, BitBtn2}));
    setFixedSize(440, sizeHint().height());

    auto on = [this](auto* sender, auto signal, void (TOptionDlg::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { swallowErrors([this, handler] { (this->*handler)(); }); });
    };
    on(ComboBoxCompressor, &QComboBox::activated, &TOptionDlg::ComboBoxCompressorSelect);
    on(TrackBarQuality, &QSlider::valueChanged, &TOptionDlg::TrackBarQualityChange);
    on(TrackBarRecord, &QSlider::valueChanged, &TOptionDlg::TrackBarPlaybackChange);
    on(TrackBarPlayback, &QSlider::valueChanged, &TOptionDlg::TrackBarPlaybackChange);
    on(ButtonAbout, &QAbstractButton::clicked, &TOptionDlg::ButtonAboutClick);
    on(ButtonConfig, &QAbstractButton::clicked, &TOptionDlg::ButtonConfigClick);
    on(BitBtn1, &QAbstractButton::clicked, &TOptionDlg::BitBtn1Click);
    on(BitBtn2, &QAbstractButton::clicked, &TOptionDlg::BitBtn2Click);
    on(MnAutoRun, &QCheckBox::toggled, &TOptionDlg::MnAutoRunClick);

    UpdateOptionLabels();
    UpdateCodecButtons();
}

void TOptionDlg::buildCompressorGroup() {
    Compressor = named(new QGroupBox(QStringLiteral("压缩参数"), this), "Compressor");
    ComboBoxCompressor = named(new QComboBox(Compressor), "ComboBoxCompressor");
    ComboBoxCompressor->setEditable(false);
    ButtonAbout = namedSkinButton(Compressor, "ButtonAbout", QStringLiteral("关于"));
    ButtonConfig = namedSkinButton(Compressor, "ButtonConfig", QStringLiteral("配置"));
    TrackBarQuality = trackBar(Compressor, "TrackBarQuality", 0, 100);
    LabelQuality = named(new QLabel(Compressor), "LabelQuality");
    LabelQuality->setMinimumWidth(32);

    auto* grid = new QGridLayout(Compressor);
    grid->addWidget(ComboBoxCompressor, 0, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (SkinButton* b : {ButtonAbout, ButtonConfig}) {
        b->setFixedSize(56, 26);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("录像质量"), Compressor), 1, 0);
    grid->addWidget(TrackBarQuality, 1, 1);
    grid->addWidget(LabelQuality, 1, 2);
    grid->setColumnStretch(1, 1);
}

void TOptionDlg::buildRecordGroup() {
    GroupBox1 = named(new QGroupBox(QStringLiteral("录制参数"), this), "GroupBox1");
    TrackBarRecord = trackBar(GroupBox1, "TrackBarRecord", 1, 1000);
    labelmspFrecord = named(new QLabel(GroupBox1), "labelmspFrecord");
    EditKeyFrames = named(new QLineEdit(GroupBox1), "EditKeyFrames");
    EditKeyFrames->setFixedWidth(70);

    auto* column = new QVBoxLayout(GroupBox1);
    column->addLayout(
        barRow(GroupBox1, QStringLiteral("1 毫秒 / 帧"), TrackBarRecord, QStringLiteral("1 分钟/ 帧")));
    column->addWidget(labelmspFrecord, 0, Qt::AlignHCenter);
    auto* keyFrames = new QHBoxLayout;
    keyFrames->addWidget(new QLabel(QStringLiteral("主帧率："), GroupBox1));
    keyFrames->addWidget(EditKeyFrames);
    keyFrames->addWidget(new QLabel(QStringLiteral("帧/主帧"), GroupBox1));
    keyFrames->addStretch(1);
    column->addLayout(keyFrames);
}

void TOptionDlg::buildPlaybackGroup() {
    GroupBox2 = named(new QGroupBox(QStringLiteral("重放帧数设置"), this), "GroupBox2");
    TrackBarPlayback = trackBar(GroupBox2, "TrackBarPlayback", 1, 1000);
    labelFPSPlayback = named(new QLabel(GroupBox2), "labelFPSPlayback");

    auto* column = new QVBoxLayout(GroupBox2);
    column->addLayout(barRow(GroupBox2, QStringLiteral("1 fps"), TrackBarPlayback, QStringLiteral("50 fps")));
    column->addWidget(labelFPSPlayback, 0, Qt::AlignHCenter);
}

void TOptionDlg::buildSoundGroup() {
    GroupBoxSound = named(new QGroupBox(QStringLiteral("声音"), this), "GroupBoxSound");
    ComboBoxSound = named(new QComboBox(GroupBoxSound), "ComboBoxSound");
    ComboBoxSound->setEditable(false);
    ComboBoxSound->addItems({QStringLiteral("不录制声音"), QStringLiteral("录制电脑播放的声音"),
                             QStringLiteral("录制麦克风"), QStringLiteral("电脑声音和麦克风")});
    auto* row = new QHBoxLayout(GroupBoxSound);
    row->addWidget(ComboBoxSound, 1);
}

void TOptionDlg::RunOptionsDialog() {
    if (!cam_) return;
    prime();
    if (exec() == QDialog::Accepted && cam_) store();
}

void TOptionDlg::prime() {
    ComboBoxCompressor->clear();
    const int count = std::clamp(cam_->CodecCount, 0, static_cast<int>(cam_->CodecList.size()));
    for (int i = 0; i < count; ++i)
        ComboBoxCompressor->addItem(description(cam_->CodecList[static_cast<std::size_t>(i)]));
    // Always the first entry, whatever the engine has chosen: confirming unchanged chooses it.
    ComboBoxCompressor->setCurrentIndex(0);

    TrackBarRecord->setValue(positionFromMsPerFrame(cam_->MsPerFrame, TrackBarRecord->maximum()));
    TrackBarPlayback->setValue(positionFromFrameRate(cam_->PlaybackRate, TrackBarPlayback->maximum()));
    EditKeyFrames->setText(QString::number(cam_->KeyFrameEvery));
    TrackBarQuality->setValue(positionFromQuality(cam_->Quality, TrackBarQuality->maximum()));
    ComboBoxSound->setCurrentIndex(static_cast<int>(cam_->Sound));
    UpdateCodecButtons();

    // The box shows whether the program starts with the session, as the settings say; showing it is
    // no change, so nothing is written.
    const QSignalBlocker quiet(MnAutoRun);
    MnAutoRun->setChecked(AutoRunEnabled);
}

void TOptionDlg::store() {
    // The sound is a choice of its own: a key-frame text that stops the storing below does not undo it.
    cam_->Sound = static_cast<sound::SoundChoice>(std::max(0, ComboBoxSound->currentIndex()));
    cam_->SelectCodec(ComboBoxCompressor->currentIndex());
    cam_->Quality = qualityFromPosition(TrackBarQuality->value(), TrackBarQuality->maximum());
    // A key-frame text that is no number ends the storing here: the rest keeps its former values.
    const std::optional<int> keyFrames = parseDecimalInteger(EditKeyFrames->text());
    if (!keyFrames) return;
    cam_->KeyFrameEvery = *keyFrames;
    cam_->MsPerFrame = msPerFrameFromPosition(TrackBarRecord->value(), TrackBarRecord->maximum());
    cam_->PlaybackRate = frameRateFromPosition(TrackBarPlayback->value(), TrackBarPlayback->maximum());
}

std::uint8_t TOptionDlg::selectedCodec() const {
    return static_cast<std::uint8_t>(ComboBoxCompressor->currentIndex());
}

void TOptionDlg::UpdateCodecButtons() {
    TScreenCam::CodecAbilities abilities;
    if (cam_) abilities = cam_->CodecQuery(selectedCodec());
    ButtonAbout->setEnabled(abilities.about);
    ButtonConfig->setEnabled(abilities.configure);
}

void TOptionDlg::UpdateOptionLabels() {
    labelmspFrecord->setText(QStringLiteral("%1 ms").arg(
        msPerFrameFromPosition(TrackBarRecord->value(), TrackBarRecord->maximum())));
    labelFPSPlayback->setText(QStringLiteral("%1 fps").arg(
        frameRateFromPosition(TrackBarPlayback->value(), TrackBarPlayback->maximum())));
    LabelQuality->setText(QString::number(TrackBarQuality->value()));
}

void TOptionDlg::ComboBoxCompressorSelect() { UpdateCodecButtons(); }

void TOptionDlg::TrackBarQualityChange() { UpdateOptionLabels(); }

void TOptionDlg::TrackBarPlaybackChange() { UpdateOptionLabels(); }

void TOptionDlg::ButtonAboutClick() {
    if (cam_) cam_->CodecAbout(selectedCodec(), this);
}

void TOptionDlg::ButtonConfigClick() {
    if (cam_) cam_->CodecConfigure(selectedCodec(), this);
}

void TOptionDlg::BitBtn1Click() { accept(); }

void TOptionDlg::BitBtn2Click() { reject(); }

void TOptionDlg::keyPressEvent(QKeyEvent* event) {
    // QDialog presses only a default QPushButton; the skin's OK is drawn, not a push button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        BitBtn1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TOptionDlg::MnAutoRunClick() {
    AutoRunEnabled = MnAutoRun->isChecked();
    // Without the right to write the machine-wide entry the choice still holds for the settings file;
    // nothing is said.
    if (AutoRunEnabled) {
        // A path that is not UTF-8 cannot be written into the entry as it is; an entry that names
        // another file would never start anything, so the user is told instead.
        const QByteArray program = runningProgramPath();
        if (const std::optional<QString> path = desktopProgramPath(program)) {
            writeAutostartEntry(*path);
        } else if (!program.isEmpty() && cam_) {
            cam_->dialogs().messageBox(
                QStringLiteral("程序所在的路径含有无法识别的字符，系统无法据此自动启动本程序。"
                               "请把程序放到名称只含有效字符的文件夹中再设置。"),
                {}, MsgIcon::Warning, MsgButtons::Ok, this);
        }
    } else {
        removeAutostartEntry();
    }
}

}  // namespace zelq
