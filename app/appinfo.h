#pragma once
// Who the program is: the title and version it shows, and the name its desktop entry, metainfo and
// icons are installed under (given by the build, which names those files).

#include <QString>

namespace zelq {

inline QString programTitle() { return QStringLiteral("ZELQ屏幕录像助手"); }
inline QString programVersion() { return QStringLiteral("1.2"); }
inline QString programId() { return QStringLiteral(ZELQ_APP_ID); }

}  // namespace zelq
