#pragma once
// The command line's export: --export=FILE --format=mp4|webm|gif [--output=FILE] makes a file to share
// from a recording in this process, without a window and without a display. Progress goes to standard
// error, the path of the file made to standard output.
//
// Main thread only, with a QCoreApplication (the export runs on a thread of its own and reports through
// the event loop).

#include "media/exporter.h"

namespace zelq::control {

// Exports and returns the exit code: kExitDone, kExitBadArguments (an output folder that cannot be used)
// or kExitCannotStart (the export failed or was ended by SIGINT or SIGTERM; the reason on standard error).
int runExport(const ExportRequest& request);

}  // namespace zelq::control
