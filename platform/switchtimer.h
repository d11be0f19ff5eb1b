#pragma once
// Timers used as switches: turning on a timer that already runs changes nothing, so its wait is not
// restarted (QTimer::start would restart it). UI thread only.

#include <QTimer>

namespace zelq {

inline void switchOn(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}

}  // namespace zelq
