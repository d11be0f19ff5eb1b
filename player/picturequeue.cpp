#include "player/picturequeue.h"

namespace zelq {

bool Picture::reserve(int w, int h) {
    // Rows start on 64-byte boundaries, as libswscale's vector code likes them.
    const int rowBytes = (w * 4 + 63) & ~63;
    const std::size_t bytes = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(h);
    if (bytes > capacity || !pixels) {
        pixels.reset(static_cast<std::uint8_t*>(av_malloc(bytes)));
        capacity = pixels ? bytes : 0;
        if (!pixels)
            return false;
    }
    width = w;
    height = h;
    stride = rowBytes;
    return true;
}

PictureQueue::PictureQueue(int pictures) {
    for (int i = 0; i < pictures; ++i)
        free_.push_back(std::make_unique<Picture>());
}

std::unique_ptr<Picture> PictureQueue::takeFree() {
    if (free_.empty())
        return nullptr;
    std::unique_ptr<Picture> p = std::move(free_.back());
    free_.pop_back();
    return p;
}

void PictureQueue::push(std::unique_ptr<Picture> picture) { ready_.push_back(std::move(picture)); }

void PictureQueue::pushEnd(std::int64_t position) {
    auto mark = std::make_unique<Picture>();
    mark->end = true;
    mark->position = position;
    ready_.push_back(std::move(mark));
}

std::unique_ptr<Picture> PictureQueue::popFirst() {
    if (ready_.empty())
        return nullptr;
    std::unique_ptr<Picture> p = std::move(ready_.front());
    ready_.pop_front();
    return p;
}

void PictureQueue::recycle(std::unique_ptr<Picture> picture) {
    if (picture && !picture->end)
        free_.push_back(std::move(picture));
}

void PictureQueue::clear() {
    while (!ready_.empty())
        recycle(popFirst());
}

}  // namespace zelq
