#include "vfw_testkit.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>

using namespace zelq;

namespace test {

namespace {

int widen5(int c5) {
    return (c5 << 3) | (c5 >> 2);
}

Rgb paletteColour(int i) {
    return {i, 255 - i, (i * 7) & 255};
}

Dib emptyDib(int width, int height, int bits) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<std::uint16_t>(bits);
    h.biSizeImage = static_cast<std::uint32_t>(dibRowBytes(width, bits) * height);
    h.biClrUsed = static_cast<std::uint32_t>(dibColourTableEntries(bits));
    Dib d;
    d.bytes.assign(sizeof h + 4 * h.biClrUsed + h.biSizeImage, 0);
    std::memcpy(d.bytes.data(), &h, sizeof h);
    return d;
}

std::uint8_t* rowOf(Dib& d, int y) {
    const auto& h = *d.header();
    return d.bytes.data() + d.formatBytes() + dibRowBytes(h.biWidth, h.biBitCount) * (h.biHeight - 1 - y);
}

}  // namespace

LONG Dib::formatBytes() const {
    return static_cast<LONG>(sizeof(BitmapInfoHeader) + 4 * header()->biClrUsed);
}

Rgb pattern(int x, int y, int frame) {
    // Every colour differs between neighbours, between rows and between frames, and the top half is
    // told apart from the bottom half by its blue, so a frame stored upside down cannot pass.
    return {(x * 7 + frame * 40) & 255, (y * 5 + frame * 3) & 255, ((x + y) * 3 & 127) + (y < 24 ? 0 : 128)};
}

Rgb expectedAt(int x, int y, int frame, int bits) {
    Rgb c = pattern(x, y, frame);
    if (bits == 16)
        c = {widen5(c.r >> 3), widen5(c.g >> 3), widen5(c.b >> 3)};
    if (bits == 8)
        c = paletteColour((x + 3 * y + frame) & 255);
    return c;
}

Rgb twoColour(int x, int y, int frame) {
    const int block = (x / 4) * 7 + (y / 4) * 13 + frame * 5;
    const bool stroke = ((x * 3 + y * 5 + frame) % 7) < 3;
    if (stroke)
        return {(block * 37) & 255, (block * 11) & 255, 255 - ((block * 29) & 255)};
    return {255 - ((block * 3) & 63), 230 - ((block * 5) & 31), (block * 17) & 255};
}

Dib dibOf(int width, int height, int bits, const std::function<Rgb(int x, int y)>& colour) {
    Dib d = emptyDib(width, height, bits);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rowOf(d, y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            if (bits == 16) {
                const int v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
                row[2 * x] = static_cast<std::uint8_t>(v);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            } else {
                std::uint8_t* p = row + x * (bits / 8);
                p[0] = static_cast<std::uint8_t>(c.b);
                p[1] = static_cast<std::uint8_t>(c.g);
                p[2] = static_cast<std::uint8_t>(c.r);
            }
        }
    }
    return d;
}

Dib patternDib(int width, int height, int bits, int frame) {
    return dibOf(width, height, bits, [frame](int x, int y) { return pattern(x, y, frame); });
}

Dib palettedDib(int width, int height, int frame) {
    Dib d = emptyDib(width, height, 8);
    auto* table = reinterpret_cast<RgbQuad*>(d.bytes.data() + sizeof(BitmapInfoHeader));
    for (int i = 0; i < 256; ++i) {
        const Rgb c = paletteColour(i);
        table[i] = {static_cast<std::uint8_t>(c.b), static_cast<std::uint8_t>(c.g),
                    static_cast<std::uint8_t>(c.r), 0};
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) rowOf(d, y)[x] = static_cast<std::uint8_t>((x + 3 * y + frame) & 255);
    return d;
}

Rgb pixelAt(const BitmapInfoHeader* dib, int x, int y) {
    const int bits = dib->biBitCount;
    const auto* base = reinterpret_cast<const std::uint8_t*>(dib);
    const std::uint8_t* row = base + sizeof(BitmapInfoHeader) + 4 * dib->biClrUsed +
                              dibRowBytes(dib->biWidth, bits) * (dib->biHeight - 1 - y);
    if (bits == 8) {
        const auto* table = reinterpret_cast<const RgbQuad*>(base + sizeof(BitmapInfoHeader));
        const RgbQuad q = table[row[x]];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    if (bits == 16) {
        const int v = row[2 * x] | (row[2 * x + 1] << 8);
        return {widen5((v >> 10) & 31), widen5((v >> 5) & 31), widen5(v & 31)};
    }
    const std::uint8_t* p = row + x * (bits / 8);
    return {p[2], p[1], p[0]};
}

Dib frameDib(const Recording& rec, int frame) {
    if (rec.still)
        frame = 0;
    if (rec.bits == 8)
        return palettedDib(rec.width, rec.height, frame);
    if (rec.picture)
        return dibOf(rec.width, rec.height, rec.bits,
                     [&rec, frame](int x, int y) { return rec.picture(x, y, frame); });
    return patternDib(rec.width, rec.height, rec.bits, frame);
}

HRESULT writeRecording(const QString& path, const Recording& rec) {
    AVIFileInit();
    PAVIFILE file;
    PAVISTREAM raw, compressed;
    AVICOMPRESSOPTIONS options;
    options.fccType = streamtypeVIDEO;
    options.fccHandler = rec.handler;
    options.dwKeyFrameEvery = rec.keyFrameEvery;
    options.dwQuality = rec.quality;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    const Dib format = frameDib(rec, 0);

    HRESULT status = AVIFileOpen(file, path.toStdString(), OF_WRITE | OF_CREATE);
    if (status == AVIERR_OK) {
        AVISTREAMINFO header = videoHeader(rec.rate);
        header.dwSuggestedBufferSize = format.header()->biSizeImage;
        header.rcFrame = {0, 0, rec.width, rec.height};
        status = AVIFileCreateStream(file, raw, header);
    }
    if (status == AVIERR_OK)
        status = AVIMakeCompressedStream(compressed, raw, &options);
    if (status == AVIERR_OK)
        status = AVIStreamSetFormat(compressed, 0, format.header(), format.formatBytes());
    for (std::size_t i = 0; status == AVIERR_OK && i < rec.positions.size(); ++i) {
        const Dib dib = frameDib(rec, static_cast<int>(i));
        status = AVIStreamWrite(compressed, rec.positions[i], 1, dib.pixels(), dib.imageBytes(), 0);
    }
    if (rec.dieAfterWriting)
        _exit(status == AVIERR_OK ? 0 : 1);
    AVICOMPRESSOPTIONS* list[] = {&options};
    AVISaveOptionsFree(1, list);
    AVIFileRelease(file);
    AVIStreamRelease(raw);
    AVIStreamRelease(compressed);
    AVIFileExit();
    return status;
}

AVISTREAMINFO videoHeader(DWORD rate) {
    AVISTREAMINFO header;
    header.fccType = streamtypeVIDEO;
    header.dwScale = 1;
    header.dwRate = rate;
    return header;
}

HRESULT writeSoundRecording(const QString& path, const SoundRecording& rec) {
    PAVIFILE file;
    PAVISTREAM video, sound;
    HRESULT hr = AVIFileOpen(file, path.toStdString(), OF_WRITE | OF_CREATE);
    if (hr == AVIERR_OK)
        hr = AVIFileCreateStream(file, video, videoHeader(rec.rate));
    const Dib format = dibOf(rec.width, rec.height, 24, [&](int x, int y) { return rec.picture(x, y, 0); });
    if (hr == AVIERR_OK)
        hr = AVIStreamSetFormat(video, 0, format.header(), format.formatBytes());
    const WaveFormatEx wave = pcmWaveFormat(2, 48000, 16);
    AVISTREAMINFO soundHeader;
    soundHeader.fccType = streamtypeAUDIO;
    soundHeader.dwScale = wave.nBlockAlign;
    soundHeader.dwRate = wave.nAvgBytesPerSec;
    if (hr == AVIERR_OK)
        hr = AVIFileCreateStream(file, sound, soundHeader);
    if (hr == AVIERR_OK)
        hr = AVIStreamSetFormat(sound, 0, &wave, sizeof wave);
    const LONG perPosition = static_cast<LONG>(48000 / rec.rate);
    std::vector<std::int16_t> chunk(static_cast<std::size_t>(perPosition) * 2);
    for (int i = 0; hr == AVIERR_OK && i < rec.positions; ++i) {
        for (LONG k = 0; k < perPosition; ++k)
            chunk[2 * static_cast<std::size_t>(k)] = chunk[2 * static_cast<std::size_t>(k) + 1] =
                rec.sound(static_cast<std::int64_t>(i) * perPosition + k);
        hr = AVIStreamWrite(sound, i * perPosition, perPosition, chunk.data(), perPosition * 4, 0);
        const Dib frame =
            dibOf(rec.width, rec.height, 24, [&](int x, int y) { return rec.picture(x, y, i); });
        if (hr == AVIERR_OK)
            hr = AVIStreamWrite(video, i, 1, frame.pixels(), frame.imageBytes(), 0);
    }
    const HRESULT finished = file ? AVIFileFinish(file) : AVIERR_OK;
    return hr != AVIERR_OK ? hr : finished;
}

Playback play(const QString& path, int depth) {
    Playback p;
    BitmapInfoHeader wanted;
    wanted.biBitCount = static_cast<std::uint16_t>(depth);
    if (AVIFileOpen(p.file, path.toStdString(), OF_READ) == AVIERR_OK &&
        AVIFileGetStream(p.file, p.stream, streamtypeVIDEO, 0) == AVIERR_OK)
        p.frames = AVIStreamGetFrameOpen(p.stream, depth ? &wanted : nullptr);
    return p;
}

Probe probe(const QString& path) {
    QProcess p;
    p.start("ffprobe",
            {"-v", "error", "-count_frames", "-show_entries",
             "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_frames:"
             "packet=pts,flags",
             "-of", "json", path});
    Probe r;
    if (!p.waitForFinished(60000))
        return r;
    r.errors = QString::fromUtf8(p.readAllStandardError());
    const QJsonObject root = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    const QJsonArray streams = root["streams"].toArray();
    if (p.exitCode() != 0 || streams.size() != 1)
        return r;
    const QJsonObject s = streams[0].toObject();
    r.codecName = s["codec_name"].toString();
    r.codecTag = s["codec_tag_string"].toString();
    r.width = s["width"].toInt();
    r.height = s["height"].toInt();
    r.frameRate = s["r_frame_rate"].toString();
    r.headerFrames = s["nb_frames"].toString("-1").toLongLong();
    r.decodedFrames = s["nb_read_frames"].toString("-1").toLongLong();
    for (const QJsonValue& packet : root["packets"].toArray()) {
        r.packetPositions.push_back(packet.toObject()["pts"].toInteger(-1));
        r.packetKeys.push_back(packet.toObject()["flags"].toString().startsWith('K'));
    }
    r.ok = true;
    return r;
}

QString decodeErrors(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    if (!p.waitForFinished(60000))
        return "ffmpeg did not finish";
    QString errors = QString::fromUtf8(p.readAllStandardError());
    if (p.exitCode() != 0)
        errors += QString("ffmpeg exit code %1").arg(p.exitCode());
    return errors;
}

}  // namespace test
