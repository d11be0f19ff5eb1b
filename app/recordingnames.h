#pragma once
// What the user is told when a name typed for a recording cannot be used as a file name in the
// recording folder. UI thread only (texts only, no state).

#include <QString>

namespace zelq {

// The reason, as the message box says it; empty when the name can be used.
QString recordingNameRefusal(const QString& name);
// The reason a rename or creation failed with errno `error` (the file system's own words otherwise).
QString fileRefusal(const QString& name, int error);

}  // namespace zelq
