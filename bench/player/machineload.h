#pragma once
// What the machine does beside the player bench: the private X server's CPU time (it draws both the
// player's and mpv's pictures, so its share belongs to each side's cost) and the load average.
//
// Thread rules: any thread.

#include <QString>

namespace zelq::bench {

// CPU seconds (user plus system) the X server of this session has used so far: the Xvfb started beside
// this program by scripts/xsession.sh (a child of the same parent). Negative when there is none.
double xServerCpuSeconds();

// The 1, 5 and 15 minute load averages as /proc/loadavg tells them.
QString loadAverage();

}  // namespace zelq::bench
