#pragma once
// The two recordings the player bench plays, made fresh each run.
//
// Main thread only (the MSVC pictures are drawn with QPainter).

#include <QString>

namespace zelq::bench {

// seconds x 10 frames of 1920x1080 scrolling text, every position written, coded by our MSVC compressor
// through the Video for Windows layer as the recorder codes them. With zoom 2 the same text is recorded at
// 3840x2160, each pixel drawn as two by two (a screen at twice the density). Empty text on success, else
// what failed.
QString makeMsvcRecording(const QString& path, int seconds, int zoom = 1);

// seconds x 30 frames of ffmpeg's moving test picture at 1920x1080, coded by libx264 into an AVI file with
// the settings the recorder's H264 entry uses (veryfast, zerolatency, a key frame every 5). Empty text on
// success.
QString makeH264Recording(const QString& path, int seconds, const QString& scratchFolder);

// The pictures stored in a file's video stream (ffprobe's packet count), or -1.
long long storedPictures(const QString& path, const QString& scratchFolder);

}  // namespace zelq::bench
