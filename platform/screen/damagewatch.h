#pragma once
// Follows which parts of the screen the X server has drawn (the DAMAGE extension on the root window), so
// that a recording reads back only those parts instead of the whole rectangle every pass: a still desktop
// then costs one small round trip a pass.
//
// The changed parts are gathered by the server into an XFixes region and fetched in one request; no
// events are needed (the one notification the server sends when damage starts is read and dropped).
//
// Thread rules: used by the thread that owns the connection it was made with (the grabber's).

#include <xcb/xcb.h>

#include <QRect>
#include <optional>
#include <vector>

namespace zelq {

class DamageWatch {
public:
    // Starts following `root` on `connection`, which must outlive the watch. Without DAMAGE 1.1 or XFixes
    // 2.0 on the server, available() is false and take() has nothing to say.
    DamageWatch(xcb_connection_t* connection, xcb_window_t root);
    ~DamageWatch();
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    bool available() const { return damage_ != 0; }
    // Forgets what has been drawn so far: call it just before reading the whole screen.
    void clear();
    // The rectangles drawn since the last clear() or take(), in screen coordinates (possibly none), and
    // forgets them; none when the server did not answer, and the caller must read everything again.
    std::optional<std::vector<QRect>> take();

private:
    void dropEvents();
    xcb_connection_t* connection_;
    std::uint32_t damage_ = 0;
    std::uint32_t region_ = 0;
};

}  // namespace zelq
