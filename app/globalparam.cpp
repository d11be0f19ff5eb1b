#include "globalparam.h"

namespace zelq {

std::unique_ptr<ProfileFile> SettingsFile;
bool AutoRunEnabled = false;

}  // namespace zelq
