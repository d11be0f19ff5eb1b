#include "screengrabber.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdint>

#include "damagewatch.h"
#include "pixellayout.h"
#include "platform/raii.h"

namespace zelq {

struct ScreenGrabber::Impl {
    XcbConnectionPtr connection;
    xcb_window_t root = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    PixelLayout layout;
    bool layoutReadable = false;
    bool sharedMemory = false;
    bool xfixes = false;
    // The segment is declared before its attachment so that the server detaches before the memory goes.
    SharedMemorySegment segment;
    XcbShmAttachment attachment;
    // Made on the first grabChanges; goes before the connection it was made on.
    std::unique_ptr<DamageWatch> damage;
    QRect tracked;  // the rectangle whose picture the last grabChanges left; empty: none
    // Told of each strip of rows copied into an image, during a grabChanges that asked for it.
    const RowsLanded* landed = nullptr;
    // Takes each row copied into an image as well, during a grabChanges that asked for it.
    DibMirror* mirror = nullptr;
};

namespace {

const xcb_screen_t* screenNumber(const xcb_setup_t* setup, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number)
            return it.data;
    }
    return nullptr;
}

// Fills the image layout of the root window's depth and visual; false when the screen is not true colour.
bool readLayout(const xcb_setup_t* setup, const xcb_screen_t* screen, PixelLayout& layout) {
    layout.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    bool formatFound = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            layout.bitsPerPixel = it.data->bits_per_pixel;
            layout.scanlinePad = it.data->scanline_pad;
            formatFound = true;
        }
    }
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id != screen->root_visual)
                continue;
            const bool trueColour = v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                                    v.data->_class == XCB_VISUAL_CLASS_DIRECT_COLOR;
            layout.redMask = v.data->red_mask;
            layout.greenMask = v.data->green_mask;
            layout.blueMask = v.data->blue_mask;
            return formatFound && trueColour && layout.supported();
        }
    }
    return false;
}

bool extensionPresent(xcb_connection_t* c, xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    return data && data->present;
}

bool sharedMemoryOffered(xcb_connection_t* c) {
    if (!extensionPresent(c, &xcb_shm_id))
        return false;
    XcbReply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version != nullptr;
}

// XFixes answers nothing until the client has said which version it speaks.
bool xfixesReady(xcb_connection_t* c) {
    if (!extensionPresent(c, &xcb_xfixes_id))
        return false;
    XcbReply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    return version != nullptr;
}

}  // namespace

ScreenGrabber::ScreenGrabber(Transport transport, const char* displayName) : d_(std::make_unique<Impl>()) {
    int number = 0;
    XcbConnectionPtr connection(xcb_connect(displayName, &number));
    if (!connection || xcb_connection_has_error(connection.get()))
        return;
    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    const xcb_screen_t* screen = screenNumber(setup, number);
    if (!screen)
        return;
    d_->root = screen->root;
    d_->width = screen->width_in_pixels;
    d_->height = screen->height_in_pixels;
    d_->depth = screen->root_depth;
    d_->layoutReadable = readLayout(setup, screen, d_->layout);
    d_->sharedMemory =
        transport == Transport::SharedMemoryIfPossible && sharedMemoryOffered(connection.get());
    d_->xfixes = xfixesReady(connection.get());
    d_->connection = std::move(connection);
}

ScreenGrabber::~ScreenGrabber() = default;

ScreenGrabber& ScreenGrabber::forCurrentThread() {
    thread_local ScreenGrabber grabber;
    return grabber;
}

bool ScreenGrabber::isConnected() const {
    return d_->connection && !xcb_connection_has_error(d_->connection.get());
}
int ScreenGrabber::bitsPerPixel() const {
    return d_->connection ? d_->layout.bitsPerPixel : 0;
}
int ScreenGrabber::depth() const {
    return d_->depth;
}
int ScreenGrabber::width() const {
    return d_->width;
}
int ScreenGrabber::height() const {
    return d_->height;
}
bool ScreenGrabber::usesSharedMemory() const {
    return d_->sharedMemory;
}

bool ScreenGrabber::grab(int left, int top, int width, int height, QImage& image) {
    if (!isConnected() || !d_->layoutReadable || width <= 0 || height <= 0)
        return false;
    const bool reusable = image.width() == width && image.height() == height &&
                          image.format() == QImage::Format_RGB32 && image.isDetached();
    if (!reusable) {
        image = QImage(width, height, QImage::Format_RGB32);
        if (image.isNull())
            return false;
    }
    // Clip in 64 bits: left + width may not fit an int.
    const std::int64_t x0 = std::max<std::int64_t>(left, 0);
    const std::int64_t y0 = std::max<std::int64_t>(top, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{left} + width, d_->width);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{top} + height, d_->height);
    const bool wholeOnScreen = x0 == left && y0 == top && x1 - x0 == width && y1 - y0 == height;
    // The server refuses a GetImage that reaches past the screen, so only the part on it is asked for and
    // the rest is black, as where there is no screen.
    if (!wholeOnScreen)
        image.fill(0xff000000u);
    if (x1 <= x0 || y1 <= y0)
        return true;
    const QRect onScreen(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                         static_cast<int>(y1 - y0));
    if (fetch(onScreen, image, QPoint(static_cast<int>(x0 - left), static_cast<int>(y0 - top))))
        return true;
    // The server refuses a rectangle past the screen's edge: the screen may have shrunk since we connected
    // (a resolution change). Read it at its new size, black where the screen is gone.
    return refreshScreenSize() && grab(left, top, width, height, image);
}

bool ScreenGrabber::followsDamage() {
    if (!isConnected())
        return false;
    if (!d_->damage)
        d_->damage = std::make_unique<DamageWatch>(d_->connection.get(), d_->root);
    return d_->damage->available();
}

bool ScreenGrabber::grabWhole(const QRect& wanted, QImage& kept, std::vector<QRect>* changed) {
    // Damage is forgotten before the read: what is drawn during it is either in the read or reported next.
    if (followsDamage())
        d_->damage->clear();
    d_->tracked = QRect();
    if (!grab(wanted.x(), wanted.y(), wanted.width(), wanted.height(), kept))
        return false;
    d_->tracked = wanted;
    if (changed)
        *changed = {QRect(QPoint(0, 0), wanted.size())};
    return true;
}

bool ScreenGrabber::grabChanges(int left, int top, int width, int height, QImage& kept,
                                std::vector<QRect>* changed, const RowsLanded& landed, DibMirror* mirror) {
    // Only this call's reads are reported and mirrored, however it ends.
    struct Listening {
        Impl& d;
        ~Listening() {
            d.landed = nullptr;
            d.mirror = nullptr;
        }
    } listening{*d_};
    d_->landed = landed ? &landed : nullptr;
    const QRect wanted(left, top, width, height);
    if (mirror && mirror->pixels && mirror->width == width && mirror->height == height &&
        d_->layout.isPlainXrgb()) {
        mirror->written = true;
        d_->mirror = mirror;
    }
    const bool keptIsOurs = wanted == d_->tracked && kept.size() == wanted.size() &&
                            kept.format() == QImage::Format_RGB32 && kept.isDetached();
    if (!keptIsOurs || !followsDamage() || refreshScreenSize())
        return grabWhole(wanted, kept, changed);
    const std::optional<std::vector<QRect>> drawn = d_->damage->take();
    if (!drawn)
        return grabWhole(wanted, kept, changed);
    // Each piece costs a request and a round trip to the server: text drawn line by line leaves dozens of
    // pieces, which cost more one by one than one read of their bounds.
    constexpr std::size_t kMostPieces = 6;
    std::vector<QRect> pieces;
    if (drawn->size() > kMostPieces) {
        QRect bounds;
        for (const QRect& r : *drawn) bounds |= r;
        pieces.push_back(bounds);
    } else {
        pieces = *drawn;
    }
    const QRect visible = wanted & QRect(0, 0, d_->width, d_->height);
    if (changed)
        changed->clear();
    for (const QRect& piece : pieces) {
        const QRect part = piece & visible;
        if (part.isEmpty())
            continue;
        if (!fetch(part, kept, part.topLeft() - wanted.topLeft()))
            return grabWhole(wanted, kept, changed);
        if (changed)
            changed->push_back(part.translated(-wanted.topLeft()));
    }
    return true;
}

bool ScreenGrabber::refreshScreenSize() {
    xcb_connection_t* c = d_->connection.get();
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, d_->root), nullptr));
    if (!geometry || (geometry->width == d_->width && geometry->height == d_->height))
        return false;
    d_->width = geometry->width;
    d_->height = geometry->height;
    return true;
}

bool ScreenGrabber::fetch(const QRect& onScreen, QImage& image, QPoint at) {
    if (d_->sharedMemory) {
        if (fetchShared(onScreen, image, at))
            return true;
        // Refused by the server (another machine's display, say): plain requests from now on.
        d_->sharedMemory = false;
        d_->attachment = XcbShmAttachment();
        d_->segment = SharedMemorySegment();
    }
    return fetchPlain(onScreen, image, at);
}

namespace {

// Rows copied between two reports to a listener: about 240 KB of a 4K picture, which stays in cache.
constexpr int kStripRows = 16;

void copyRows(const PixelLayout& layout, const std::uint8_t* src, QImage& image, QPoint at, const QSize& size,
              const ScreenGrabber::RowsLanded* landed, DibMirror* mirror) {
    const std::size_t stride = layout.rowBytes(size.width());
    for (int top = 0; top < size.height(); top += kStripRows) {
        const int rows = std::min(kStripRows, size.height() - top);
        for (int y = top; y < top + rows; ++y) {
            const int row = at.y() + y;
            auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(row)) + at.x();
            const std::uint8_t* from = src + stride * static_cast<std::size_t>(y);
            if (mirror) {
                // The DIB's rows run bottom-up.
                std::uint8_t* dib =
                    mirror->pixels + mirror->stride * static_cast<std::size_t>(mirror->height - 1 - row);
                copyXrgbRowTwice(from, dst, reinterpret_cast<std::uint32_t*>(dib) + at.x(), size.width());
            } else {
                convertRowToRgb32(layout, from, dst, size.width());
            }
        }
        if (landed)
            (*landed)(QRect(at.x(), at.y() + top, size.width(), rows));
    }
    if (mirror)
        finishStreamedRows();
}

}  // namespace

bool ScreenGrabber::fetchShared(const QRect& onScreen, QImage& image, QPoint at) {
    xcb_connection_t* c = d_->connection.get();
    const std::size_t rowBytes = d_->layout.rowBytes(onScreen.width());
    if (!ensureSegment(rowBytes * static_cast<std::size_t>(onScreen.height())))
        return false;
    // A large rectangle is asked for in bands, all requested at once, each into its own part of the
    // segment: the server copies the next band while this thread converts the last, instead of the two
    // taking turns over a whole 4K picture. Whatever is drawn between two bands is reported by DAMAGE and
    // read again next pass.
    constexpr std::size_t kBandBytes = 2u << 20;
    const int bandRows = static_cast<int>(std::max<std::size_t>(1, kBandBytes / std::max<std::size_t>(rowBytes, 1)));
    std::vector<xcb_shm_get_image_cookie_t> bands;
    for (int top = 0; top < onScreen.height(); top += bandRows) {
        const int rows = std::min(bandRows, onScreen.height() - top);
        bands.push_back(xcb_shm_get_image(
            c, d_->root, static_cast<std::int16_t>(onScreen.x()), static_cast<std::int16_t>(onScreen.y() + top),
            static_cast<std::uint16_t>(onScreen.width()), static_cast<std::uint16_t>(rows), ~0u,
            XCB_IMAGE_FORMAT_Z_PIXMAP, d_->attachment.seg(), static_cast<std::uint32_t>(rowBytes * top)));
    }
    const auto* segment = static_cast<const std::uint8_t*>(d_->segment.data());
    bool read = true;
    for (std::size_t band = 0; band < bands.size(); ++band) {
        // Every reply is taken, even after a refusal, so that none is left waiting in the connection.
        xcb_generic_error_t* error = nullptr;
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, bands[band], &error));
        XcbReply<xcb_generic_error_t> errorOwner(error);
        read = read && reply && !error;
        if (!read)
            continue;
        const int top = static_cast<int>(band) * bandRows;
        const int rows = std::min(bandRows, onScreen.height() - top);
        copyRows(d_->layout, segment + rowBytes * static_cast<std::size_t>(top), image, at + QPoint(0, top),
                 QSize(onScreen.width(), rows), d_->landed, d_->mirror);
    }
    return read;
}

bool ScreenGrabber::fetchPlain(const QRect& onScreen, QImage& image, QPoint at) {
    xcb_connection_t* c = d_->connection.get();
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, d_->root, static_cast<std::int16_t>(onScreen.x()),
                      static_cast<std::int16_t>(onScreen.y()), static_cast<std::uint16_t>(onScreen.width()),
                      static_cast<std::uint16_t>(onScreen.height()), ~0u),
        nullptr));
    if (!reply)
        return false;
    const std::size_t needed =
        d_->layout.rowBytes(onScreen.width()) * static_cast<std::size_t>(onScreen.height());
    if (static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < needed)
        return false;
    copyRows(d_->layout, xcb_get_image_data(reply.get()), image, at, onScreen.size(), d_->landed, d_->mirror);
    return true;
}

bool ScreenGrabber::ensureSegment(std::size_t bytes) {
    if (d_->attachment.valid() && d_->segment.size() >= bytes)
        return true;
    d_->attachment = XcbShmAttachment();
    d_->segment = SharedMemorySegment(bytes);
    if (!d_->segment.valid())
        return false;
    xcb_connection_t* c = d_->connection.get();
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_shm_attach_checked(c, seg, static_cast<std::uint32_t>(d_->segment.id()), 0)));
    if (error)
        return false;
    // Both sides have it mapped now; from here the kernel frees it when the last one lets go.
    d_->segment.markForRemoval();
    d_->attachment = XcbShmAttachment(c, seg);
    return true;
}

std::optional<QPoint> ScreenGrabber::pointerPosition() {
    if (!isConnected())
        return std::nullopt;
    xcb_connection_t* c = d_->connection.get();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, d_->root), nullptr));
    if (!reply)
        return std::nullopt;
    return QPoint(reply->root_x, reply->root_y);
}

std::optional<QPoint> ScreenGrabber::cursorHotSpot() {
    if (!isConnected() || !d_->xfixes)
        return std::nullopt;
    xcb_connection_t* c = d_->connection.get();
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!reply)
        return std::nullopt;
    return QPoint(reply->xhot, reply->yhot);
}

}  // namespace zelq
