#pragma once
// What a script asks a recording to be: full screen or a rectangle, and the options that differ from the
// options dialog's for this one run. Shared by the session-bus interface and the command line. Plain
// values; any thread.

#include <QRect>
#include <QString>
#include <QVariantMap>
#include <optional>

#include "platform/sound/soundcapture.h"

namespace zelq::control {

struct RecordOptions {
    std::optional<sound::SoundChoice> sound;  // none: the options dialog's choice
    QString compressor;                       // FourCC or name; empty: the options dialog's choice
    int intervalMs = 0;                       // capture interval; 0: the options dialog's
    int rate = 0;                             // frames per second written into the file; 0: the dialog's
    QString output;                           // the file; empty: the window's folder and naming
    double durationSeconds = 0;               // of file time; 0: until stopped
    int countdownSeconds = 0;
};

struct RecordRequest {
    bool area = false;
    QRect rect;  // screen pixels; for an area only
    RecordOptions options;
};

// The options of a bus call's dictionary (keys "sound", "compressor", "interval", "rate", "output",
// "duration", "countdown"); an unknown key or a bad value is refused with a text for the user.
QString optionsFromMap(const QVariantMap& map, RecordOptions& options);
// The same options as a dictionary, for a call from the command line.
QVariantMap optionsToMap(const RecordOptions& options);

// "none", "computer", "microphone", "both".
std::optional<sound::SoundChoice> soundChoiceFromName(const QString& name);

// Refusals of what no recording could be made of, with texts for the user; empty when it can be tried.
// A rectangle of some size that lies on a monitor (UI thread: it asks Qt for the monitors).
QString checkRectangle(const QRect& rect);
// An output file in a folder that exists and can be written.
QString checkOutputFolder(const QString& file);

}  // namespace zelq::control
