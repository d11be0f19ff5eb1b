#pragma once
// The stop key on a Wayland desktop that offers the GlobalShortcuts portal (GNOME 48, KDE Plasma, ...):
// the desktop, not the program, owns the key, and tells the program when it is pressed, whichever window
// has the focus.
//
// Nothing here ever waits on the desktop: whether it offers the portal is asked when the object is made,
// and binding is a conversation (the desktop may ask the user to confirm or choose the key). bind() sends
// what it can, and the binding counts from the desktop's answer on. Until then, and where the desktop
// declines, fails or binds nothing, the key is not bound and the recording is stopped from the stop window;
// standing() says which of these holds, so the program can say why.
//
// Each wish is a session of its own, created with the shortcut in its options: KDE Plasma 5.27 binds only
// the shortcuts it is given there (its BindShortcuts refuses the list). The session's shortcuts are then
// listed, and only where the desktop has not bound ours already is BindShortcuts called, as the portal's
// later versions expect.
//
// UI thread only: the desktop's answers and key presses arrive as D-Bus signals on the UI thread.

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <map>

class QDBusPendingCallWatcher;

namespace zelq {

class PortalShortcuts final : public QObject {
    Q_OBJECT
public:
    enum class Standing {
        Asking,      // the desktop has not answered yet (whether it offers the portal, or the binding)
        NotOffered,  // the desktop has no GlobalShortcuts portal
        Refused,     // offered, but the desktop (or the user) declined, failed or bound nothing
        Bound,       // the latest wish is bound
    };

    // Asks the desktop whether it offers the portal, without waiting for the answer.
    explicit PortalShortcuts(QObject* parent = nullptr);
    // Ends the session: the desktop lets go of the keys.
    ~PortalShortcuts() override;

    // Asks the desktop for shortcut `id`, suggesting `trigger` (in the portal's notation for keys, such
    // as "CTRL+ALT+s" or "Escape"; empty: the desktop or the user chooses). The latest wish wins; a wish
    // the desktop has refused is not asked again.
    void bind(int id, const QString& trigger);
    // Whether the desktop has bound `id` as last asked.
    bool isBound(int id) const;
    Standing standing() const;

signals:
    void activated(int id);

private slots:
    void onResponse(uint response, const QVariantMap& results);
    void onActivated(const QDBusMessage& message);

private:
    using Answer = void (PortalShortcuts::*)(uint response, const QVariantMap& results);
    void onOffered(QDBusPendingCallWatcher* reply);
    // Sends a request whose Response goes to `answer`; a call the portal fails outright is answered as a
    // failure, so no request is waited for for ever.
    void request(const QString& method, QVariantList arguments, QVariantMap options, Answer answer);
    void openSession();
    void closeSession();
    void onSessionCreated(uint response, const QVariantMap& results);
    void onListed(uint response, const QVariantMap& results);
    void onBound(uint response, const QVariantMap& results);
    // True when the desktop's answer lists the shortcut just asked for.
    bool listsSent(uint response, const QVariantMap& results) const;
    // The answer for the wish in hand is final: a newer wish is asked now.
    void settle(bool bound);

    enum class Offer { Unknown, Yes, No };
    Offer offer_ = Offer::Unknown;
    QString session_;
    QString requestPath_;  // the request now waited for; empty: none
    Answer answer_ = nullptr;
    int wantedId_ = 0;  // the latest wish; 0: none yet
    QString wantedTrigger_;
    int sentId_ = 0;  // the wish the desktop is answering or has answered last
    QString sentTrigger_;
    bool refused_ = false;          // the desktop declined the wish sent last
    std::map<int, QString> bound_;  // what the desktop has agreed to, by id: the trigger asked
};

}  // namespace zelq
