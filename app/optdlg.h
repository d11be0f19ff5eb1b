#pragma once
// TOptionDlg, the options dialog: the compressor of the engine's catalogue, the quality, the key-frame
// interval, the capture interval and the frame rate written into the recording, the sound recorded
// beside the picture, and whether the program starts with the desktop session. The bars map the engine's
// numbers through the scales of optionscales.h; the engine's settings change only when the user confirms. The
// autorun box acts at once, confirmed or not. Made once by the main window and kept, with its controls as the
// user left them. UI thread only.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <cstdint>

#include "platform/skin.h"

namespace zelq {

class TScreenCam;

class TOptionDlg : public QDialog {
    Q_OBJECT
public:
    // The engine whose settings the dialog edits; owner is the main window.
    TOptionDlg(TScreenCam* cam, QWidget* owner);

    // Primes the controls from the engine, shows the dialog modally and on OK stores the values.
    void RunOptionsDialog();
    // About and Configure are enabled when the selected compressor has them.
    void UpdateCodecButtons();
    // The three value labels from the bars' positions.
    void UpdateOptionLabels();

    void ComboBoxCompressorSelect();
    void TrackBarQualityChange();
    void TrackBarPlaybackChange();
    void ButtonAboutClick();
    void ButtonConfigClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void MnAutoRunClick();

    QGroupBox* Compressor = nullptr;
    QComboBox* ComboBoxCompressor = nullptr;
    SkinButton* ButtonAbout = nullptr;
    SkinButton* ButtonConfig = nullptr;
    QSlider* TrackBarQuality = nullptr;
    QLabel* LabelQuality = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QSlider* TrackBarRecord = nullptr;
    QLabel* labelmspFrecord = nullptr;
    QLineEdit* EditKeyFrames = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QSlider* TrackBarPlayback = nullptr;
    QLabel* labelFPSPlayback = nullptr;
    QGroupBox* GroupBoxSound = nullptr;
    QComboBox* ComboBoxSound = nullptr;  // items in the order of sound::SoundChoice
    QCheckBox* MnAutoRun = nullptr;
    SkinButton* BitBtn1 = nullptr;  // OK
    SkinButton* BitBtn2 = nullptr;  // Cancel

protected:
    // Enter confirms, as OK does: OK is the default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildCompressorGroup();
    void buildRecordGroup();
    void buildPlaybackGroup();
    void buildSoundGroup();
    void prime();
    void store();
    // The list index as the engine's compressor calls take it: an empty choice (-1) arrives as 255.
    std::uint8_t selectedCodec() const;

    QPointer<TScreenCam> cam_;
};

}  // namespace zelq
