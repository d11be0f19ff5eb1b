#pragma once
// What every request to a desktop portal shares. A portal answers a request twice: at once with the path of
// a request object, later with a Response signal on that object. The path is predictable from the
// caller's bus name and a token the caller chooses, so the signal can be listened for before the request
// is sent (a desktop that answers at once would otherwise answer into the void).
// Any thread (each call uses the session bus, which is thread-safe).

#include <QString>

namespace zelq {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";
inline constexpr const char* kPortalRequest = "org.freedesktop.portal.Request";

// A token no other request of this process has used.
QString nextPortalToken();
// The path of the request object the portal makes for `token`, sent from this process's session bus.
QString portalRequestPath(const QString& token);

}  // namespace zelq
