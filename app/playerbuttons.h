#pragma once
// The four picture buttons of the player's control bar: play, pause, stop and full screen, each a 25 x 25
// flat button whose glyph is drawn as shapes when the button is painted, so it is sharp at any device
// pixel ratio. UI thread only.

#include "platform/skin.h"

namespace zelq {

enum class PlayerGlyph { Play, Pause, Stop, FullScreen };

class PlayerButton final : public SkinButton {
    Q_OBJECT
public:
    PlayerButton(PlayerGlyph glyph, QWidget* parent);
    QSize sizeHint() const override { return {25, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PlayerGlyph glyph_;
};

// A player button with the object name its window's design gives it, and its hint.
PlayerButton* namedPlayerButton(QWidget* parent, const char* name, PlayerGlyph glyph, const QString& hint);

}  // namespace zelq
