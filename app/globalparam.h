#pragma once
// Settings shared by the main window and the options dialog for the whole run. UI thread only: the
// recording thread never touches them.

#include <memory>

#include "platform/profile.h"

namespace zelq {

// The open settings file; created by the main window's creation, released as the last step of its
// destruction.
extern std::unique_ptr<ProfileFile> SettingsFile;

// Whether the program starts with the desktop session (set at start from the settings, changed by the
// options dialog, written at exit).
extern bool AutoRunEnabled;

}  // namespace zelq
