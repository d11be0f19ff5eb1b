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
// Answers how many frames were written. The recording is written under a temporary name beside `path`
// and takes its name only when it is closed, so a crash never leaves half a file there; an earlier file
// of that name then goes to the trash. A build cut short (a failed write, a picture that no longer
// loads) keeps the frames written as a closed recording only where no file had the name: it never
// replaces one, and then answers 0.
int BuildAviFromPictures(const QString& path, int count, const PictureSource& picture, int rate);

}  // namespace zelq
