#pragma once
// The file a recording writes. A name chosen before the recording starts may be taken by the time the
// file is made (another program, a second copy of this one, the first run of a recording that goes on
// with the default compressor), and a recording must never replace or mix into another file. Any thread.

#include <QString>

namespace zelq {

// Creates the file for a recording exclusively, under the wanted path or, when that is taken, the next
// free name beside it: the next number for a numbered name ("7.avi" gives "8.avi", in 64 bits), a
// numbered suffix otherwise ("REC.avi" gives "REC(2).avi"). The path claimed, or empty when no file can
// be made there (errno says why).
QString claimRecordingFile(const QString& wanted);

// The name that follows `name` in that order.
QString nextRecordingName(const QString& name);

}  // namespace zelq
