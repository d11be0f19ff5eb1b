#pragma once
// The desktop's screen-cast portal (org.freedesktop.portal.ScreenCast) over D-Bus: one session that casts
// one monitor, from the question to the user to the PipeWire connection.
//
// The portal answers each request twice: at once with the path of a request object, and later with a
// Response signal on it, once the desktop has asked the user (which may take as long as the user likes).
// This waits for that signal in a local event loop, so it must run on a worker thread, never the UI's.
//
// Permission: where the portal offers it (version 4), the session asks to be remembered and the desktop
// hands back a token that spares the user the question next time. The token is kept in the user's state
// folder ($XDG_STATE_HOME/zelq-screenrec/), never in the settings file, and replaced after every cast
// because a token is good for one use.
//
// Thread rules: one thread from open() to the destructor (the recording worker).

#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>

namespace zelq {

class PortalSession {
public:
    PortalSession() = default;
    // Closes the session: the desktop stops casting.
    ~PortalSession();
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    // Asks for a monitor, with the pointer drawn in where the portal can. True once the desktop has
    // agreed and the PipeWire connection is open; false with error() otherwise. Waits for the user's answer
    // while keepWaiting() is true. A question given up is left open for the user to answer or cancel: its
    // answer is dropped and its session closed when it comes, on the application's thread (where there is
    // no QCoreApplication, the question is taken away instead).
    bool open(const std::function<bool()>& keepWaiting);

    QString error() const { return error_; }
    // What the desktop gave, valid after a successful open(). The fd belongs to the caller once taken.
    int takePipeWireFd();
    unsigned nodeId() const { return nodeId_; }
    // Where the monitor lies in the desktop's coordinates and its size there; an empty size when the
    // portal did not say.
    QPoint position() const { return position_; }
    QSize logicalSize() const { return logicalSize_; }
    bool pointerInPicture() const { return pointerEmbedded_; }

    // The file the restore token is kept in.
    static QString restoreTokenPath();

private:
    void close();
    QString sessionHandle_;
    QString error_;
    int fd_ = -1;
    unsigned nodeId_ = 0;
    QPoint position_;
    QSize logicalSize_;
    bool pointerEmbedded_ = false;
};

}  // namespace zelq
