#include "common/soundprobe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace soundprobe {

namespace {

QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    // An hour's recording takes minutes to read through; a reader that hangs is still stopped.
    if (!p.waitForFinished(3600 * 1000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

}  // namespace

std::vector<StreamFacts> probeStreams(const QString& path) {
    const QByteArray out =
        run("ffprobe",
            {"-v", "error", "-show_entries",
             "stream=codec_type,codec_name,sample_rate,channels,duration,nb_frames", "-of", "json", path});
    std::vector<StreamFacts> facts;
    for (const QJsonValue& v : QJsonDocument::fromJson(out).object()["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        StreamFacts f;
        f.type = s["codec_type"].toString();
        f.codec = s["codec_name"].toString();
        f.sampleRate = s["sample_rate"].toString("0").toInt();
        f.channels = s["channels"].toInt();
        f.duration = s["duration"].toString("-1").toDouble();
        // The AVI reader gives a sound stream no duration, only its length in samples from the header.
        if (s["duration"].toString() == "" && f.sampleRate > 0)
            f.duration = s["nb_frames"].toString("-1").toDouble() / f.sampleRate;
        facts.push_back(f);
    }
    return facts;
}

namespace {

constexpr int kRate = 48000;

// The sound of the file's first sound stream, its channels mixed down, as ffmpeg decodes it.
std::vector<std::int16_t> monoSamples(const QString& path) {
    const QByteArray pcm = run(
        "ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-ac", "1", "-f", "s16le", "-"});
    std::vector<std::int16_t> samples(static_cast<std::size_t>(pcm.size()) / 2);
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}

}  // namespace

std::vector<double> toneSpans(const QString& path, double hertz, double from, double to) {
    const std::vector<std::int16_t> samples = monoSamples(path);
    // The sound's correlation with a sine and a cosine of that frequency (one bin of a Fourier sum) over
    // each 50 ms: over longer spans a clock a little off the nominal rate would turn the phase and cancel
    // what is there. (Sound 2 % off the frequency turns a full cycle in 50 ms at 1 kHz and reads as
    // almost nothing.)
    constexpr std::size_t kSpan = kRate / 20;
    std::vector<double> amplitudes;
    const std::size_t last = std::min(samples.size(), static_cast<std::size_t>(to * kRate));
    for (auto at = static_cast<std::size_t>(from * kRate); at + kSpan <= last; at += kSpan) {
        double re = 0, im = 0;
        for (std::size_t i = at; i < at + kSpan; ++i) {
            const double phase = 2 * M_PI * hertz * static_cast<double>(i) / kRate;
            re += samples[i] * std::cos(phase);
            im += samples[i] * std::sin(phase);
        }
        amplitudes.push_back(2 * std::hypot(re, im) / kSpan / 32768);
    }
    return amplitudes;
}

std::vector<double> toneOnsets(const QString& path) {
    const std::vector<std::int16_t> samples = monoSamples(path);
    constexpr int kLoud = 3000;
    const std::size_t n = samples.size();
    std::vector<double> onsets;
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int16_t s = samples[i];
        if (std::abs(static_cast<int>(s)) < kLoud) {
            ++quiet;
            continue;
        }
        if (quiet >= kRate / 10)
            onsets.push_back(static_cast<double>(i) / kRate);
        quiet = 0;
    }
    return onsets;
}

std::vector<Span> flashSpans(const QString& path, const QRect& within) {
    QString escaped = path;
    escaped.replace("'", "\\'");
    const QString crop = within.isEmpty() ? QString()
                                          : QString(",crop=%1:%2:%3:%4")
                                                .arg(within.width())
                                                .arg(within.height())
                                                .arg(within.x())
                                                .arg(within.y());
    const QByteArray out = run(
        "ffprobe", {"-v", "error", "-f", "lavfi", "-i", "movie='" + escaped + "'" + crop + ",signalstats",
                    "-show_entries", "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"});
    std::vector<Span> spans;
    double lastDark = -1;
    bool dark = true;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() < 2)
            continue;
        const double t = fields[0].toDouble();
        const bool bright = fields[1].toDouble() > 128;
        if (bright && dark && lastDark >= 0)
            spans.push_back({lastDark, t});
        if (!bright)
            lastDark = t;
        dark = !bright;
    }
    return spans;
}

Matches matchTones(const std::vector<double>& tones, const std::vector<Span>& flashes,
                   const std::vector<Span>& late, double spacing) {
    Matches result;
    // Which tone each flash went to: a tone whose own flash the pictures lost must not take a neighbour's.
    std::vector<int> claimed(flashes.size(), -1);
    int index = 0;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        if (i > 0)
            index += std::max(1, static_cast<int>(std::lround((tones[i] - tones[i - 1]) / spacing)));
        Match m;
        m.index = index;
        m.tone = tones[i];
        m.late = index < static_cast<int>(late.size()) ? late[static_cast<std::size_t>(index)] : Span{};
        const double from = m.tone + m.late.from, to = m.tone + m.late.to;
        const auto distance = [from, to](const Span& f) { return std::max({0.0, f.from - to, from - f.to}); };
        const auto nearest =
            std::min_element(flashes.begin(), flashes.end(),
                             [&](const Span& a, const Span& b) { return distance(a) < distance(b); });
        m.found = nearest != flashes.end() && distance(*nearest) <= spacing / 2;
        if (m.found) {
            m.seen = *nearest;
            m.apart = distance(*nearest);
            int& owner = claimed[static_cast<std::size_t>(nearest - flashes.begin())];
            if (owner >= 0 && result.tones[static_cast<std::size_t>(owner)].apart <= m.apart) {
                m.found = false;
            } else {
                if (owner >= 0)
                    result.tones[static_cast<std::size_t>(owner)].found = false;
                owner = static_cast<int>(result.tones.size());
            }
        }
        result.tones.push_back(m);
    }
    for (std::size_t i = 0; i < flashes.size(); ++i)
        if (claimed[i] < 0)
            result.flashesWithoutTone.push_back(flashes[i].from);
    return result;
}

}  // namespace soundprobe
