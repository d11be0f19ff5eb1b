#pragma once
// The three fixed 1920x1080 test sequences the Microsoft Video 1 bench encodes, as 32-bit DIB frames (rows
// bottom-up, BGRX): what a screen recorder meets most (a still desktop), what is hardest for a block coder
// that cannot move blocks (a scrolling text page), and the worst case (full motion).
//
// Needs a QGuiApplication (text is drawn with QPainter). Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelq::bench {

constexpr int kSequenceWidth = 1920;
constexpr int kSequenceHeight = 1080;

class Sequence {
public:
    virtual ~Sequence() = default;
    virtual std::string name() const = 0;
    // Frame i of the sequence, the same every time it is asked for.
    virtual void frame(int i, std::vector<std::uint8_t>& dib) = 0;
};

// A desktop with a wallpaper, a taskbar and two windows; only the taskbar clock (once a second at 10
// frames a second) and an editor's caret (blinking twice a second) change.
std::unique_ptr<Sequence> stillDesktop();
// A page of anti-aliased text in a browser-like window scrolling 7 pixels a frame under a fixed toolbar.
std::unique_ptr<Sequence> scrollingText();
// A video-like picture: drifting colour fields, fine moving detail over half the picture, hard-edged
// shapes and film grain; every pixel changes every frame.
std::unique_ptr<Sequence> fullMotion();

}  // namespace zelq::bench
