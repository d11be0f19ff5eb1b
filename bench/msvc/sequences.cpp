#include "sequences.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>
#include <cstring>

namespace zelq::bench {
namespace {

constexpr int kW = kSequenceWidth;
constexpr int kH = kSequenceHeight;
constexpr std::size_t kRowBytes = kW * 4;

// QImage's RGB32 keeps each pixel as B, G, R, X bytes in memory, as a 32-bit DIB does; only the row order
// differs.
void copyRow(const QImage& image, int imageRow, std::vector<std::uint8_t>& dib, int y) {
    std::memcpy(dib.data() + kRowBytes * (kH - 1 - y), image.constScanLine(imageRow), kRowBytes);
}

// Deterministic filler text: words from a fixed syllable list, chosen by a fixed generator.
class Words {
public:
    explicit Words(std::uint32_t seed) : state_(seed) {}
    QString sentence(int words) {
        static const std::array<const char*, 16> syllables = {"lo",  "rem", "ip",  "sum", "do",  "lor",
                                                              "sit", "am",  "et",  "con", "sec", "te",
                                                              "tur", "ad",  "pis", "cing"};
        QString text;
        for (int w = 0; w < words; ++w) {
            const int length = 1 + static_cast<int>(next() % 3);
            QString word;
            for (int s = 0; s < length; ++s) word += syllables[next() % syllables.size()];
            if (w == 0)
                word[0] = word[0].toUpper();
            text += (w ? " " : "") + word;
        }
        return text + ".";
    }
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }

private:
    std::uint32_t state_;
};

void drawWindow(QPainter& p, const QRect& r, const QString& title) {
    p.fillRect(r.adjusted(4, 4, 4, 4), QColor(0, 0, 0, 60));  // shadow
    p.fillRect(r, QColor(250, 250, 250));
    QLinearGradient bar(r.topLeft(), r.topLeft() + QPoint(0, 30));
    bar.setColorAt(0, QColor(70, 110, 170));
    bar.setColorAt(1, QColor(45, 80, 140));
    p.fillRect(QRect(r.left(), r.top(), r.width(), 30), bar);
    p.setPen(Qt::white);
    p.setFont(QFont("Sans", 11, QFont::Bold));
    p.drawText(QRect(r.left() + 10, r.top(), r.width() - 20, 30), Qt::AlignVCenter, title);
}

class StillDesktop : public Sequence {
public:
    StillDesktop() : base_(kW, kH, QImage::Format_RGB32) {
        QPainter p(&base_);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, kW, kH);
        sky.setColorAt(0, QColor(25, 55, 105));
        sky.setColorAt(1, QColor(120, 165, 205));
        p.fillRect(base_.rect(), sky);
        for (int i = 0; i < 5; ++i) {
            QRadialGradient blob(QPointF(300 + i * 350, 250 + (i % 2) * 500), 260);
            blob.setColorAt(0, QColor(255, 220, 150, 90));
            blob.setColorAt(1, QColor(255, 220, 150, 0));
            p.fillRect(base_.rect(), blob);
        }
        p.fillRect(QRect(0, kH - 40, kW, 40), QColor(32, 32, 40));
        for (int i = 0; i < 8; ++i)
            p.fillRect(QRect(12 + i * 44, kH - 34, 28, 28), QColor::fromHsv(i * 45, 160, 220));

        drawWindow(p, editor_, "notes.txt - Editor");
        p.setFont(QFont("Monospace", 11));
        Words words(7);
        for (int line = 0; line < 30; ++line) {
            p.setPen(QColor(150, 150, 150));
            p.drawText(editor_.left() + 8, editor_.top() + 56 + line * 21, QString::number(line + 1));
            p.setPen(QColor(20, 20, 20));
            p.drawText(editor_.left() + 48, editor_.top() + 56 + line * 21, words.sentence(4 + line % 7));
        }
        drawWindow(p, files_, "Documents");
        p.fillRect(QRect(files_.left(), files_.top() + 30, 180, files_.height() - 30), QColor(235, 236, 240));
        p.setFont(QFont("Sans", 10));
        for (int row = 0; row < 22; ++row) {
            const int y = files_.top() + 44 + row * 26;
            p.fillRect(QRect(files_.left() + 196, y, 18, 18), QColor::fromHsv((row * 37) % 360, 120, 230));
            p.setPen(QColor(30, 30, 30));
            p.drawText(files_.left() + 224, y + 14, words.sentence(2) + "pdf");
            p.setPen(QColor(120, 120, 120));
            p.drawText(files_.left() + 560, y + 14, QString("%1 KB").arg(17 * row + 3));
        }
    }
    std::string name() const override { return "still desktop"; }
    void frame(int i, std::vector<std::uint8_t>& dib) override {
        QImage shot = base_;
        QPainter p(&shot);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setPen(Qt::white);
        p.setFont(QFont("Sans", 11));
        const int seconds = 15 * 60 + i / 10;  // the clock ticks once a second at 10 frames a second
        p.drawText(
            QRect(kW - 110, kH - 40, 100, 40), Qt::AlignCenter,
            QString("10:%1:%2").arg(seconds / 60, 2, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0')));
        if ((i / 5) % 2 == 0)
            p.fillRect(QRect(editor_.left() + 420, editor_.top() + 40 + 30 * 21, 2, 18), Qt::black);
        p.end();
        for (int y = 0; y < kH; ++y) copyRow(shot, y, dib, y);
    }

private:
    QImage base_;
    const QRect editor_{120, 100, 900, 700};
    const QRect files_{1080, 160, 720, 640};
};

class ScrollingText : public Sequence {
public:
    static constexpr int kStep = 7;
    static constexpr int kChrome = 90;
    static constexpr int kScrollbar = 14;

    ScrollingText()
        : chrome_(kW, kChrome, QImage::Format_RGB32), page_(kW, kH + 100 * kStep, QImage::Format_RGB32) {
        QPainter c(&chrome_);
        c.fillRect(chrome_.rect(), QColor(222, 225, 230));
        c.fillRect(QRect(8, 6, 260, 34), QColor(250, 250, 250));
        c.fillRect(QRect(120, 50, 1200, 30), Qt::white);
        c.setPen(QColor(60, 60, 60));
        c.setFont(QFont("Sans", 10));
        c.drawText(QRect(16, 6, 250, 34), Qt::AlignVCenter, "Lorem ipsum - Reference");
        c.drawText(QRect(130, 50, 1180, 30), Qt::AlignVCenter,
                   "https://example.org/reference/lorem-ipsum.html");
        c.end();

        QPainter p(&page_);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(page_.rect(), Qt::white);
        Words words(11);
        int y = 30;
        const int left = 380, width = 1140;
        for (int section = 0; y < page_.height(); ++section) {
            p.setPen(QColor(20, 40, 110));
            p.setFont(QFont("Sans", 20, QFont::Bold));
            p.drawText(QRect(left, y, width, 40), Qt::AlignVCenter, words.sentence(4));
            y += 56;
            p.setFont(QFont("Sans", 12));
            for (int para = 0; para < 3; ++para) {
                const QRect box(left, y, width, 400);
                QRect used;
                p.setPen(QColor(25, 25, 25));
                p.drawText(box, Qt::TextWordWrap, words.sentence(60 + para * 15), &used);
                y += used.height() + 18;
            }
            if (section % 2 == 0) {
                QLinearGradient picture(left, y, left + 500, y + 220);
                picture.setColorAt(0, QColor(200, 120, 60));
                picture.setColorAt(1, QColor(60, 120, 200));
                p.fillRect(QRect(left, y, 500, 220), picture);
                p.setPen(QColor(90, 90, 90));
                p.setFont(QFont("Sans", 10, -1, true));
                p.drawText(left + 520, y + 110, words.sentence(6));
                y += 240;
            } else {
                p.fillRect(QRect(left, y, width, 130), QColor(244, 244, 246));
                p.setPen(QColor(120, 30, 30));
                p.setFont(QFont("Monospace", 11));
                for (int line = 0; line < 5; ++line)
                    p.drawText(left + 16, y + 24 + line * 22, "    " + words.sentence(3 + line).toLower());
                y += 150;
            }
        }
    }
    std::string name() const override { return "scrolling text"; }
    void frame(int i, std::vector<std::uint8_t>& dib) override {
        const int offset = i * kStep;
        for (int y = 0; y < kH; ++y) {
            if (y < kChrome)
                copyRow(chrome_, y, dib, y);
            else
                copyRow(page_, offset + y, dib, y);
        }
        // the scroll bar's thumb follows the page
        const int thumbTop = kChrome + offset * (kH - kChrome - 120) / (100 * kStep);
        for (int y = kChrome; y < kH; ++y) {
            const bool thumb = y >= thumbTop && y < thumbTop + 120;
            std::uint8_t* row = dib.data() + kRowBytes * (kH - 1 - y);
            for (int x = kW - kScrollbar; x < kW; ++x) {
                const std::uint8_t grey = thumb ? 150 : 235;
                std::memset(row + 4 * x, grey, 3);
            }
        }
    }

private:
    QImage chrome_;
    QImage page_;
};

class FullMotion : public Sequence {
public:
    FullMotion() {
        for (int i = 0; i < 1024; ++i)
            wave_[i] = static_cast<int>(std::lround(63 * std::sin(i * 2 * M_PI / 1024)));
    }
    std::string name() const override { return "full motion"; }
    void frame(int t, std::vector<std::uint8_t>& dib) override {
        std::uint32_t grain = 0x9E3779B9u * static_cast<std::uint32_t>(t + 1);
        for (int y = 0; y < kH; ++y) {
            std::uint8_t* row = dib.data() + kRowBytes * (kH - 1 - y);
            for (int x = 0; x < kW; ++x) {
                const int a = wave_[(x * 2 + t * 9) & 1023] + wave_[(y * 3 - t * 5) & 1023];
                const int b = wave_[((x + y) + t * 7) & 1023] + wave_[((x - 2 * y) / 2 + t * 3) & 1023];
                int r = 128 + a, g = 120 + (a + b) / 2, bl = 128 + b;
                // the lower half has fine detail, as foliage or a crowd has in a film
                if (y >= kH / 2) {
                    const int detail = wave_[(x * 37 + y * 11 + t * 13) & 1023] *
                                       wave_[(x * 5 - y * 41 + t * 17) & 1023] / 48;
                    r += detail;
                    g += detail / 2;
                    bl -= detail / 2;
                }
                // two discs crossing the picture, with hard edges as objects in a film have
                for (int k = 0; k < 2; ++k) {
                    const int cx = (300 + k * 700 + t * (14 + 9 * k)) % kW,
                              cy = 300 + k * 350 + (t * 4) % 200;
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 150 * 150) {
                        r = k ? 230 : 40;
                        g = k ? 200 : 60 + (x & 63);
                        bl = k ? 40 : 170;
                    }
                }
                grain ^= grain << 13;
                grain ^= grain >> 17;
                grain ^= grain << 5;
                const int n = static_cast<int>(grain & 15) - 8;
                row[4 * x] = clamp(bl + n);
                row[4 * x + 1] = clamp(g + n);
                row[4 * x + 2] = clamp(r + n);
                row[4 * x + 3] = 0;
            }
        }
    }

private:
    static std::uint8_t clamp(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
    int wave_[1024];
};

}  // namespace

std::unique_ptr<Sequence> stillDesktop() {
    return std::make_unique<StillDesktop>();
}
std::unique_ptr<Sequence> scrollingText() {
    return std::make_unique<ScrollingText>();
}
std::unique_ptr<Sequence> fullMotion() {
    return std::make_unique<FullMotion>();
}

}  // namespace zelq::bench
