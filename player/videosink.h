#pragma once
// Where the player's pictures go: the display window, seen by the player only through this. The
// player says when the picture on screen or its place has changed; the display then paints the
// player's shown picture into the player's destination rectangle. UI thread only.

namespace zelq {

class VideoSink {
public:
    virtual ~VideoSink() = default;
    virtual void pictureChanged() = 0;
};

}  // namespace zelq
