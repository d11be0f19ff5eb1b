#pragma once
// The command line's verbs: --record-full, --record-area=X,Y,WxH (with --duration, --countdown, --sound,
// --compressor, --interval, --rate, --output, --wait), --stop, --pause, --resume, --toggle-pause and
// --status; and --export=FILE --format=mp4|webm|gif [--output=FILE], which exports in this process
// (exportverb.h). A recording verb goes to the running copy of the program over the session bus; a start verb with no copy
// running records in this process, without the main window (runHeadless).
//
// Exit codes: kExitDone, kExitBadArguments, kExitNothingToStop, kExitCannotStart.
// Main thread only.

#include <QString>
#include <QStringList>

#include "control/recordrequest.h"
#include "media/exporter.h"

namespace zelq {
class TFrmScreenCam;
}

namespace zelq::control {

class ScriptedRecording;

inline constexpr int kExitDone = 0;
inline constexpr int kExitBadArguments = 2;
inline constexpr int kExitNothingToStop = 3;
inline constexpr int kExitCannotStart = 4;

struct Verb {
    enum class Kind { None, RecordFull, RecordArea, Stop, Pause, Resume, TogglePause, Status, Export };
    Kind kind = Kind::None;
    RecordRequest request;
    ExportRequest exportRequest;  // Kind::Export
    bool wait = false;
    QString error;  // a bad command line: the text for standard error (exit kExitBadArguments)

    bool starts() const { return kind == Kind::RecordFull || kind == Kind::RecordArea; }
};

// The verb of the arguments (without the program's name); Kind::None when there is none, so the window
// starts as always. With a verb, an option the program does not know is an error.
Verb parseVerb(const QStringList& arguments);

// Sends the verb to the running copy and waits for its answer (a few seconds at most; with --wait until
// the file is finished). Needs a QCoreApplication. Sets `noCopy` and returns without doing anything when
// no copy runs and the verb starts a recording; otherwise the exit code.
int sendVerb(const Verb& verb, bool& noCopy);

// Records the start verb's request in this process with the window hidden, and returns the exit code once
// the file is finished. SIGINT and SIGTERM end the recording and the file is finished before the return.
int runHeadless(const Verb& verb, ScriptedRecording& recording);

}  // namespace zelq::control
