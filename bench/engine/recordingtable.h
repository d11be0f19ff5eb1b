#pragma once
// The second part of the bench: recordings by the engine and by ffmpeg, each measured, read back by
// ffprobe, deleted, and printed as a line of one table, with the ratios ours/ffmpeg.
//
// Thread rules: UI thread (the engine's and the pattern's thread).

#include <QString>
#include <QStringList>

class QWidget;

namespace zelq {
class TScreenCam;
}

namespace zelq::bench {

class AnsweringDialogs;
class PatternProcess;

struct Row {
    QString recorder;
    bool ok = false;
    QString failure;
    int frames = 0;    // frames stored (packets)
    int captured = 0;  // of those, the ones captured rather than repeated
    int skipped = 0;   // positions without a frame
    QString dupDrop;   // ffmpeg's dup/drop, "-" for the engine
    double cpu = 0;    // the recorder's CPU seconds, start to end
    double wall = 0;
    double sizeMb = 0;
    long long length = 0;   // positions, as ffprobe reads the header
    long long packets = 0;  // frames, as ffprobe reads them
    double patternFps = 0;
    QString note;  // where the engine's counters and ffprobe disagree
};

// Where the recordings of one run are written (and deleted again), the pattern that keeps the screen
// moving and the length of each recording.
struct RecordingSetup {
    QString scratchFolder;
    PatternProcess& pattern;
    int seconds;
};

Row engineRow(const RecordingSetup& setup, TScreenCam& cam, QWidget& source, int index,
              AnsweringDialogs& dialogs);
Row ffmpegRow(const RecordingSetup& setup, const QString& recorder, const QStringList& codecArgs);

void printHeader(const RecordingSetup& setup, const TScreenCam& cam);
void printRow(const QString& codec, const Row& row);
void printRatios(const Row& ours, const Row& theirs);

}  // namespace zelq::bench
