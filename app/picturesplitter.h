#pragma once
// Splitting an opened recording into numbered 24-bit BMP files ("Frame01.BMP", …) on two threads of its
// own: one decodes each frame straight into the bytes of its file, the other writes the files, each with
// one write, under a temporary name renamed into place. Decoding and writing overlap, so a split takes
// about as long as the slower of the two, and the window's thread only lists the pictures as they come.
//
// Memory stays flat whatever the length of the recording: the decoder runs at most a few pictures ahead
// of the writer, and the writer at most a few ahead of what the window has listed (which also keeps a
// cancel from the window prompt: it stops the split within those few pictures).
//
// Threads: constructed, started, cancelled and destroyed on the window's thread; the signals are
// delivered there, in the order of the pictures. The destructor stops both threads and waits for them.
// The writer waits for the window's thread only through listed(), and every wait also ends on a stop,
// which the destructor sets before it waits: it cannot deadlock.
#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/vfw/vfw.h"

namespace zelq {

// "Frame%2.2d.BMP": at least two digits, so Frame99.BMP is followed by Frame100.BMP.
QString pictureFileName(int ordinal);

class PictureSplitter final : public QObject {
    Q_OBJECT
public:
    // `frames` reads a stream of `length` positions and must outlive the splitter; the pictures go into
    // `folder`, given with its trailing separator.
    PictureSplitter(const PGETFRAME& frames, LONG length, QString folder);
    ~PictureSplitter() override;

    void start();
    // Stops after the picture being written: no further picture is begun. The pictures written so far
    // are still reported, then finished() without a reason.
    void cancel();
    // The next frame decoded comes with an upright copy of itself for the live view.
    void wantPreview();
    // The window has listed one more picture.
    void listed();

signals:
    // Picture `ordinal` (from 1) is whole at `file`, named `name`; `preview` is null unless one was wanted.
    void pictureWritten(int ordinal, const QString& name, const QString& file, const QImage& preview);
    // The split has ended with `written` pictures; `stopped` says why when a frame could not be read or
    // a picture not written, and is empty when the recording ended or the split was cancelled.
    void finished(const QString& stopped, int written);

private:
    struct Picture {
        std::vector<std::uint8_t> file;  // the whole BMP file
        QImage preview;
    };

    void decode();
    void write();
    // Waits for room in the queue and gives a buffer to fill; false when the split stops meanwhile.
    bool takeBuffer(std::vector<std::uint8_t>& buffer);
    void endDecoding(const QString& stopped);

    const PGETFRAME& frames_;
    const LONG length_;
    const QString folder_;
    std::atomic<bool> previewWanted_{false};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Picture> decoded_;                   // in the order of the frames
    std::vector<std::vector<std::uint8_t>> spare_;  // written pictures' buffers, for the next frames
    bool decoderDone_ = false;
    QString decoderStopped_;  // why the decoder ended before the recording did
    bool stop_ = false;       // cancelled, or the writer failed
    int listed_ = 0;

    // Last, so that they are joined before what they use goes.
    std::jthread decoder_;
    std::jthread writer_;
};

}  // namespace zelq
