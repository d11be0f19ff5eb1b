#pragma once
// Whether a shown window is where it asked to be, and, where the window manager put it somewhere else (a
// tiling desktop puts every window into a tile), getting it there through the window manager's own
// commands (tilingipc.h). A window manager places and frames a window in steps, some time after it is
// mapped, so nothing is judged until the window's bounds have held still for a moment, and nothing
// waits longer than a few seconds. UI thread only.

#include <QRect>
#include <QString>
#include <functional>

class QWidget;

namespace zelq {

enum class Placement {
    AsAsked,     // the window manager put the window where it asked
    ByCommand,   // it put it elsewhere; its commands then put it where asked
    NoCommands,  // it put it elsewhere, and the desktop takes no commands
    Refused,     // it put it elsewhere, and its commands did not get it where asked
};

struct PlacementResult {
    Placement how = Placement::AsAsked;
    QRect at;     // where the window is now (placedBounds)
    QString why;  // for Refused: the window manager's words, when it gave any
};
using PlacementDone = std::function<void(const PlacementResult&)>;

// For a window just shown with the outer bounds `asked` (logical pixels): watches it land, and where it
// lands elsewhere, asks the window manager to float it where asked. `done` hears the outcome once, unless
// the window is hidden first; a newer check of the same window replaces this one.
void checkPlacement(QWidget* window, const QRect& asked, PlacementDone done);
// For a shown window that the window manager does not let place itself: asks it at once.
void placeByCommand(QWidget* window, const QRect& asked, PlacementDone done);
// The same, waiting for the outcome (serving events, but no user input): for a window that must be in
// place before anything else happens.
PlacementResult placeByCommandNow(QWidget* window, const QRect& asked);

}  // namespace zelq
