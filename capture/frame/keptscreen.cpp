#include "keptscreen.h"

#include "capture/frame/bitmaptodib.h"

namespace zelq {

void KeptScreen::beginPass(int bitsPerPixel) {
    bitsPerPixel_ = bitsPerPixel;
    filling_ = std::move(spare_);
    converted_ = QRegion();
    mirror_ = DibMirror();
    if (filling_ && bitsPerPixel == 32 && filling_.header().biBitCount == 32) {
        const BitmapInfoHeader header = filling_.header();
        mirror_.pixels = reinterpret_cast<std::uint8_t*>(filling_.pixels());
        mirror_.stride = filling_.rowBytes();
        mirror_.width = header.biWidth;
        mirror_.height = header.biHeight;
    }
}

void KeptScreen::rowsRead(const QRect& strip) {
    if (!filling_)
        return;
    if (!mirror_.written)
        PaintIntoDIB(filling_, image, strip, strip.topLeft());
    converted_ += strip;
}

bool KeptScreen::bringUpToDate(Frame& frame) const {
    const BitmapInfoHeader header = frame.header();
    const bool sameShape = frame && header.biWidth == image.width() && header.biHeight == image.height() &&
                           header.biBitCount == bitsPerPixel_;
    // 8 bits: every pixel goes through the fixed palette, which a part converted alone gives as well.
    const bool convertible =
        bitsPerPixel_ == 8 || bitsPerPixel_ == 16 || bitsPerPixel_ == 24 || bitsPerPixel_ == 32;
    if (!sameShape || !convertible || frame.pass == 0 || passes_.empty() || frame.pass < passes_.front().number)
        return false;
    // What differs from the frame's own pass: everything read since, and its own arrow. A region, so that
    // a part read in two passes (on a scrolling screen, all of it) is converted once.
    QRegion stale;
    for (const Pass& pass : passes_) {
        if (pass.number == frame.pass)
            stale += pass.arrow;
        else if (pass.number > frame.pass)
            stale += pass.read;
    }
    for (const QRect& part : stale - converted_) PaintIntoDIB(frame, image, part, part.topLeft());
    return true;
}

Frame KeptScreen::endPass(const std::vector<QRect>& changed, Dialogs& dialogs) {
    Pass pass{++lastPass_, QRegion(), QRect()};
    for (const QRect& part : changed) pass.read += part;
    passes_.push_back(std::move(pass));
    if (passes_.size() > kPassesKept)
        passes_.pop_front();
    Frame frame = std::move(filling_);
    if (!bringUpToDate(frame))
        frame = BitmapToDIB(image, bitsPerPixel_, dialogs);
    if (frame)
        frame.pass = lastPass_;
    return frame;
}

void KeptScreen::arrowDrawn(const QRect& where) {
    pointer_ = where;
    if (!passes_.empty())
        passes_.back().arrow = where;
}

void KeptScreen::giveBack(Frame frame) {
    if (frame)
        spare_ = std::move(frame);
}

}  // namespace zelq
