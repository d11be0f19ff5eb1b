#pragma once
// Writing a list of pictures as an uncompressed AVI recording: one video stream of 8-bit frames with the
// fixed 256-colour table (dib.h), one key frame per picture, in list order, at `rate` frames per second.
// Every frame has the first picture's size: a picture of another size is scaled to it, so no frame is
// ever longer than the first. UI thread or worker, one call at a time per file.

#include <QImage>
#include <QString>
#include <functional>

namespace zelq {

// Picture i of the list, loaded when it is written; a null picture ends the writing there.
using PictureSource = std::function<QImage(int index)>;

// Writes `count` pictures into `path`. An empty list writes nothing and leaves the file as it was.
// Answers how many frames were written; the file is complete (closed) in every case where it was made,
// also after a failed write, so it holds the frames written before.
int BuildAviFromPictures(const QString& path, int count, const PictureSource& picture, int rate);

}  // namespace zelq
