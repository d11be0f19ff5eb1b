#pragma once
// What a recording keeps from pass to pass: the screen as the last pass read it, and the frames it handed
// out before, to be brought up to date instead of made anew.
//
// Each pass reads back only what the server has drawn since the last one (ScreenGrabber::grabChanges). A
// frame given back (once the encoder has written it) shows the screen of its own pass, with its arrow. The
// next pass converts into it what it reads, strip by strip while the bytes are in cache, and then what was
// read between the two passes and what the arrow covered. A still screen then costs next to nothing a
// pass, and a screen that changes everywhere one conversion, with no copy and no fresh memory for a frame
// of tens of megabytes.
//
// At 32 bits the grab writes what it reads straight into the frame as well (mirror()), so the frame's
// rows are not read back out of the kept picture.
//
// A pass: beginPass, the grab (reporting its strips to rowsRead, writing into mirror()), endPass, then
// arrowDrawn.
//
// Thread rules: one thread (the recording worker) uses it; frames travel to the encoder's thread and back
// by their own hand-over.

#include <QImage>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <deque>
#include <vector>

#include "capture/frame/frame.h"
#include "platform/screen/screensource.h"

namespace zelq {

class Dialogs;

class KeptScreen {
public:
    QImage image;   // the screen as the last pass read it; the arrow is never drawn into it
    // Where the arrow went over the last frame (image coordinates); empty: nowhere.
    QRect pointer() const { return pointer_; }

    // A pass at the recording's depth begins: the frame given back, if any, is to take what it reads.
    void beginPass(int bitsPerPixel);
    // Where the grab may write what it reads in the frame's own format as well; nullptr: nowhere.
    DibMirror* mirror() { return mirror_.pixels ? &mirror_ : nullptr; }
    // A strip of `image` the pass has just read from the server (and written into mirror(), if the
    // grab says so there).
    void rowsRead(const QRect& strip);
    // The pass has read `changed` (image coordinates) anew: its frame, without the arrow. None when no
    // memory can be had; a depth BitmapToDIB cannot make gives a black frame and its message, every pass.
    Frame endPass(const std::vector<QRect>& changed, Dialogs& dialogs);
    // The arrow was drawn over `where` (empty: nowhere) in the frame endPass gave last.
    void arrowDrawn(const QRect& where);
    // A frame endPass gave, done with. Only the latest one given back is kept.
    void giveBack(Frame frame);

private:
    // What one pass read anew and where its frame's arrow went.
    struct Pass {
        std::uint64_t number;
        QRegion read;
        QRect arrow;
    };
    // Enough for a frame given back while the next one is written; an older one is converted whole.
    static constexpr std::size_t kPassesKept = 8;
    bool bringUpToDate(Frame& frame) const;

    std::deque<Pass> passes_;
    std::uint64_t lastPass_ = 0;
    int bitsPerPixel_ = 0;
    QRect pointer_;
    Frame spare_;
    Frame filling_;       // the frame of the pass under way
    QRegion converted_;   // what of this pass's reads is already in filling_
    DibMirror mirror_;    // filling_'s pixel rows, for a pass at 32 bits
};

}  // namespace zelq
