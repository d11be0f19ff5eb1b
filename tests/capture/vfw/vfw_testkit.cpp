#include "vfw_testkit.h"

#include <sys/mount.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "capture/vfw/avistreamheaders.h"

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
    if (rec.dieAfterWriting)
        _exit(hr == AVIERR_OK ? 0 : 1);
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

QString headerCounts(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "stream=codec_type,nb_frames", "-of", "csv=p=0", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return "ffprobe failed";
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().replace(',', ' ').replace('\n', ", ");
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

bool pipeWrittenAviWithSound(const QString& path, int seconds) {
    QProcess p;
    p.setStandardOutputFile(path);
    p.start("ffmpeg", {"-nostdin",
                       "-v",
                       "error",
                       "-f",
                       "lavfi",
                       "-i",
                       "testsrc=size=64x48:rate=10",
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=frequency=440:sample_rate=48000",
                       "-t",
                       QString::number(seconds),
                       "-ac",
                       "2",
                       "-c:v",
                       "msvideo1",
                       "-c:a",
                       "pcm_s16le",
                       "-f",
                       "avi",
                       "pipe:1"});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool putOurWriterMark(const QString& path) {
    // The mark exactly as our writer writes it: from a file it wrote.
    const QString ours = path + ".ours.avi";
    Recording rec;
    if (writeRecording(ours, rec) != AVIERR_OK)
        return false;
    std::ifstream written(ours.toStdString(), std::ios::binary);
    const std::optional<std::string> mark = readInfoEntry(written, "ISFT");
    QFile::remove(ours);
    QFile file(path);
    if (!mark || !file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    // libavformat's INFO list, then the padding it leaves for such edits: one INFO list and a shorter
    // padding take their place, so that nothing after them moves.
    const qsizetype info = bytes.indexOf("INFO") - 8;
    const qsizetype junk = info < 0 || bytes.mid(info, 4) != "LIST" ? -1 : bytes.indexOf("JUNK", info);
    if (junk < 0)
        return false;
    const qsizetype end = junk + 8 + qFromLittleEndian<quint32>(bytes.constData() + junk + 4);
    QByteArray entry = QByteArray::fromStdString(*mark) + '\0';
    if (entry.size() % 2)
        entry += '\0';
    QByteArray replacement = "LIST" + QByteArray(4, '\0') + "INFO" + "ISFT" + QByteArray(4, '\0') + entry;
    qToLittleEndian<quint32>(static_cast<quint32>(replacement.size() - 8), replacement.data() + 4);
    qToLittleEndian<quint32>(static_cast<quint32>(mark->size() + 1), replacement.data() + 16);
    const qsizetype room = end - info - replacement.size() - 8;
    if (room < 0)
        return false;
    replacement += "JUNK" + QByteArray(4, '\0') + QByteArray(room, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(room), replacement.data() + replacement.size() - room - 4);
    bytes.replace(info, end - info, replacement);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

QString streamPackets(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-count_packets", "-show_entries", "stream=codec_type,nb_read_packets",
                        "-of", "csv=p=0", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return "ffprobe failed";
    QStringList streams;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        streams << line.trimmed().replace(',', ' ');
    return streams.join(", ");
}

SmallDisk::SmallDisk(const char* options) {
    if (mount("tmpfs", dir_.path().toUtf8().constData(), "tmpfs", 0, options) == 0)
        mounted_ = true;
    else
        error_ = std::strerror(errno);
}

SmallDisk::~SmallDisk() {
    if (mounted_)
        umount2(dir_.path().toUtf8().constData(), MNT_DETACH);
}

bool SmallDisk::makeReadOnly() {
    return mount("tmpfs", dir_.path().toUtf8().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<QByteArray> damagedCopies(const QByteArray& whole, std::uint32_t seed) {
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<QByteArray> copies{whole};
    for (int cut = 1; cut < 40; ++cut) copies.push_back(whole.left(whole.size() * cut / 40));
    for (int variant = 0; variant < 60; ++variant) {
        QByteArray damaged = whole;
        for (int flip = 0; flip < 1 + variant % 8; ++flip) {
            const qsizetype at =
                variant % 2 ? next() % std::min<qsizetype>(damaged.size(), 2048) : next() % damaged.size();
            damaged[at] = static_cast<char>(next() >> 24);
        }
        copies.push_back(damaged);
    }
    // Headers that lie: a length of two billion positions, no rate, one position a day, a 60000-pixel side.
    const qsizetype strh = whole.indexOf("strh") + 8, strf = whole.indexOf("strf") + 8;
    const std::pair<qsizetype, quint32> lies[] = {
        {strh + 32, 0x7fffffffu}, {strh + 24, 0u}, {strh + 20, 86400u}, {strf + 4, 60000u}};
    for (const auto& [at, value] : lies) {
        QByteArray lying = whole;
        if (at > 8 && at + 4 <= lying.size())
            qToLittleEndian<quint32>(value, lying.data() + at);
        copies.push_back(lying);
    }
    return copies;
}

}  // namespace test
