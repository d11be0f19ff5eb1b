#pragma once
// The stop key on a Wayland desktop that offers the GlobalShortcuts portal (GNOME 48, KDE Plasma 6, ...):
// the desktop, not the program, owns the key, and tells the program when it is pressed, whichever window
// has the focus.
//
// Binding is a conversation with the desktop, which may ask the user to confirm or choose the key, so it
// never waits: bind() sends the request, and the binding counts from the desktop's answer on. Until then
// (and where the user declines) the key is not bound and the recording is stopped from the stop window.
//
// UI thread only: the desktop's answers and key presses arrive as D-Bus signals on the UI thread.

#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <map>

namespace zelq {

class PortalShortcuts final : public QObject {
    Q_OBJECT
public:
    // Whether the desktop offers global shortcuts (asked once, answered at once).
    static bool offered();

    explicit PortalShortcuts(QObject* parent = nullptr);
    // Ends the session: the desktop lets go of the keys.
    ~PortalShortcuts() override;

    // Asks the desktop for shortcut `id`, suggesting `trigger` (in the portal's notation for keys, such
    // as "CTRL+ALT+s" or "Escape"; empty: the desktop or the user chooses). The latest wish wins.
    void bind(int id, const QString& trigger);
    // Whether the desktop has bound `id` as last asked.
    bool isBound(int id) const;

signals:
    void activated(int id);

private slots:
    void onSessionCreated(uint response, const QVariantMap& results);
    void onBound(uint response, const QVariantMap& results);
    void onActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong timestamp,
                     const QVariantMap& options);

private:
    // Sends a request whose answer comes to `slot`; false when the call failed outright.
    bool request(const QString& method, QVariantList arguments, QVariantMap options, const char* slot);
    void sendBind();
    QString session_;
    QString requestPath_;  // the request now waited for; empty: none
    bool sessionAsked_ = false;
    int wantedId_ = 0;  // the latest wish
    QString wantedTrigger_;
    int sentId_ = 0;  // the wish the desktop is answering
    QString sentTrigger_;
    std::map<int, QString> bound_;  // what the desktop has agreed to, by id: the trigger asked
};

}  // namespace zelq
