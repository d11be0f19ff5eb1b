#include "portalsource.h"

#include <cmath>
#include <cstring>

#include "platform/screen/pipewirestream.h"
#include "platform/screen/portalsession.h"
#include "platform/screen/screengrabber.h"

namespace zelq {

namespace {

// Xwayland, for the screen's size and the pointer: the desktop's coordinates as the program's windows
// see them.
ScreenGrabber& xwayland() {
    return ScreenGrabber::forCurrentThread();
}

bool reusable(const QImage& image, const QSize& size) {
    return image.size() == size && image.format() == QImage::Format_RGB32 && image.isDetached();
}

// The monitor's size in desktop units. Some portals (wlroots') give its size in pixels, not in the desktop's
// units; then a lone monitor at the origin is as large as the Xwayland screen laid over the desktop.
QSize monitorSize(const PortalSession& session, const QSize& picture) {
    const QSize told = session.logicalSize();
    if (!told.isEmpty() && told != picture)
        return told;
    const QSize x(xwayland().width(), xwayland().height());
    const bool sameShape = static_cast<long long>(x.width()) * picture.height() ==
                           static_cast<long long>(x.height()) * picture.width();
    if (session.position() == QPoint(0, 0) && !x.isEmpty() && x.width() < picture.width() && sameShape)
        return x;
    return picture;
}

// The rectangle (desktop coordinates) in the picture's pixels.
QRect inPicture(const QRect& wanted, const QPoint& monitorAt, const QSize& logical, const QSize& picture) {
    const double sx = static_cast<double>(picture.width()) / logical.width();
    const double sy = static_cast<double>(picture.height()) / logical.height();
    const QRect at = wanted.translated(-monitorAt);
    return QRect(static_cast<int>(std::lround(at.x() * sx)), static_cast<int>(std::lround(at.y() * sy)),
                 static_cast<int>(std::lround(at.width() * sx)),
                 static_cast<int>(std::lround(at.height() * sy)));
}

void copyPart(const QImage& picture, const QRect& from, QImage& image, const QPoint& to) {
    const std::size_t bytes = static_cast<std::size_t>(from.width()) * 4;
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(image.scanLine(to.y() + y) + to.x() * 4,
                    picture.constScanLine(from.y() + y) + from.x() * 4, bytes);
}

}  // namespace

PortalScreenSource::PortalScreenSource() = default;

PortalScreenSource::~PortalScreenSource() {
    endRecording();
}

bool PortalScreenSource::isConnected() const {
    return xwayland().isConnected();
}
int PortalScreenSource::width() const {
    return xwayland().width();
}
int PortalScreenSource::height() const {
    return xwayland().height();
}

bool PortalScreenSource::beginRecording(const std::function<bool()>& keepWaiting) {
    endRecording();
    failure_.clear();
    session_ = std::make_unique<PortalSession>();
    if (!session_->open(keepWaiting)) {
        failure_ = session_->error();
        endRecording();
        return false;
    }
    stream_ = std::make_unique<PipeWireStream>();
    if (!stream_->start(session_->takePipeWireFd(), session_->nodeId(), keepWaiting)) {
        failure_ = stream_->error();
        endRecording();
        return false;
    }
    return true;
}

void PortalScreenSource::endRecording() {
    // The stream goes before the session whose cast it reads.
    stream_.reset();
    session_.reset();
    tracked_ = QRect();
}

bool PortalScreenSource::pointerInPicture() const {
    return session_ && session_->pointerInPicture();
}

std::optional<QPoint> PortalScreenSource::pointerPosition() {
    return xwayland().pointerPosition();
}

std::optional<QPoint> PortalScreenSource::cursorHotSpot() {
    return xwayland().cursorHotSpot();
}

long long PortalScreenSource::framesReceived() const {
    return stream_ ? stream_->framesReceived() : 0;
}

bool PortalScreenSource::grab(int left, int top, int width, int height, QImage& image) {
    // What was redrawn is handed out here too, so a later grabChanges must start from a whole copy.
    tracked_ = QRect();
    return copy(QRect(left, top, width, height), image, false, nullptr, nullptr);
}

bool PortalScreenSource::grabChanges(int left, int top, int width, int height, QImage& kept,
                                     std::vector<QRect>* changed, const RowsLanded& landed, DibMirror*) {
    const QRect wanted(left, top, width, height);
    const bool keptIsOurs = wanted == tracked_ && reusable(kept, wanted.size());
    tracked_ = QRect();
    if (!copy(wanted, kept, keptIsOurs, changed, landed ? &landed : nullptr))
        return false;
    tracked_ = wanted;
    return true;
}

bool PortalScreenSource::copy(const QRect& wanted, QImage& image, bool onlyChanged,
                              std::vector<QRect>* changed, const RowsLanded* landed) {
    if (wanted.isEmpty())
        return false;
    if (!reusable(image, wanted.size())) {
        image = QImage(wanted.size(), QImage::Format_RGB32);
        if (image.isNull())
            return false;
        onlyChanged = false;
    }
    if (changed)
        changed->clear();
    if (!stream_) {
        image.fill(0xff000000u);
        if (changed)
            changed->push_back(image.rect());
        return true;
    }
    QRegion parts;
    const bool taken = stream_->take([&](const QImage& picture, const QRegion& redrawn) {
        const QRect from =
            inPicture(wanted, session_->position(), monitorSize(*session_, picture.size()), picture.size());
        if (from.size() != wanted.size()) {
            // A scaled monitor: its pixels are brought to the rectangle's size (parts off it are black).
            image = picture.copy(from)
                        .scaled(wanted.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB32);
            parts = image.rect();
            return;
        }
        if (!onlyChanged && !picture.rect().contains(from))
            image.fill(0xff000000u);
        parts =
            onlyChanged ? QRegion(redrawn.translated(-from.topLeft())) & image.rect() : QRegion(image.rect());
        for (const QRect& part : parts) {
            const QRect source = part.translated(from.topLeft()) & picture.rect();
            if (!source.isEmpty())
                copyPart(picture, source, image, source.topLeft() - from.topLeft());
        }
    });
    if (!taken) {
        failure_ = stream_->error();
        return false;
    }
    for (const QRect& part : parts) {
        if (changed)
            changed->push_back(part);
        if (landed)
            (*landed)(part);
    }
    return true;
}

}  // namespace zelq
