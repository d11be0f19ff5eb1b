#pragma once
// The logging category of the Video for Windows layer. FFmpeg failures are logged here with the text
// avErrorText gives, so that a code such as AVIERR_FILEWRITE can be traced to what the library said.

#include <QLoggingCategory>

namespace zelq {
Q_DECLARE_LOGGING_CATEGORY(lcVfw)
}  // namespace zelq
