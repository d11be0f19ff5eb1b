#include "damagewatch.h"

#include <xcb/damage.h>
#include <xcb/xfixes.h>

#include "platform/raii.h"

namespace zelq {

namespace {

bool damageReady(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!damage || !damage->present || !xfixes || !xfixes->present)
        return false;
    // Both extensions answer nothing until the client has said which version it speaks; regions need
    // XFixes 2.
    XcbReply<xcb_xfixes_query_version_reply_t> fixes(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    XcbReply<xcb_damage_query_version_reply_t> version(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    return fixes && fixes->major_version >= 2 && version;
}

}  // namespace

DamageWatch::DamageWatch(xcb_connection_t* connection, xcb_window_t root) : connection_(connection) {
    if (!damageReady(connection_))
        return;
    const xcb_damage_damage_t damage = xcb_generate_id(connection_);
    XcbReply<xcb_generic_error_t> refused(xcb_request_check(
        connection_,
        xcb_damage_create_checked(connection_, damage, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY)));
    if (refused)
        return;
    const xcb_xfixes_region_t region = xcb_generate_id(connection_);
    XcbReply<xcb_generic_error_t> noRegion(
        xcb_request_check(connection_, xcb_xfixes_create_region_checked(connection_, region, 0, nullptr)));
    if (noRegion) {
        xcb_damage_destroy(connection_, damage);
        xcb_flush(connection_);
        return;
    }
    damage_ = damage;
    region_ = region;
}

DamageWatch::~DamageWatch() {
    if (!available())
        return;
    xcb_damage_destroy(connection_, damage_);
    xcb_xfixes_destroy_region(connection_, region_);
    xcb_flush(connection_);
}

void DamageWatch::clear() {
    if (!available())
        return;
    xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
    xcb_flush(connection_);
    dropEvents();
}

std::optional<std::vector<QRect>> DamageWatch::take() {
    if (!available())
        return std::nullopt;
    // The damage moves into the region and is cleared in one request; the fetch, sent after it, sees it.
    xcb_damage_subtract(connection_, damage_, XCB_NONE, region_);
    XcbReply<xcb_xfixes_fetch_region_reply_t> reply(
        xcb_xfixes_fetch_region_reply(connection_, xcb_xfixes_fetch_region(connection_, region_), nullptr));
    dropEvents();
    if (!reply)
        return std::nullopt;
    const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(reply.get());
    const int count = xcb_xfixes_fetch_region_rectangles_length(reply.get());
    std::vector<QRect> changed;
    changed.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        changed.emplace_back(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    return changed;
}

void DamageWatch::dropEvents() {
    // Damage notifications (and nothing else: this connection asks for no other events) pile up unread
    // otherwise.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
}

}  // namespace zelq
