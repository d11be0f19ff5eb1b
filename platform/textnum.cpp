#include "textnum.h"

#include <cstdint>
#include <limits>
#include <type_traits>

namespace zelq {

namespace {

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

}  // namespace

namespace {

// The conversion for a signed integer of `Int`'s width: decimal values must fit it; hexadecimal ones
// (when allowed) take its whole bit pattern.
template <typename Int>
std::optional<Int> parseSigned(const QString& text, bool allowHex) {
    using UInt = std::make_unsigned_t<Int>;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (allowHex && i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (allowHex && i + 1 < n && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n) return std::nullopt;
    const UInt limit = base == 16 ? std::numeric_limits<UInt>::max()
                                  : static_cast<UInt>(std::numeric_limits<Int>::max()) + 1u;
    UInt value = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0 || d >= base) return std::nullopt;
        if (value > (limit - static_cast<UInt>(d)) / static_cast<UInt>(base)) return std::nullopt;
        value = value * static_cast<UInt>(base) + static_cast<UInt>(d);
    }
    if (base == 16) return static_cast<Int>(negative ? UInt{0} - value : value);
    if (!negative && value > static_cast<UInt>(std::numeric_limits<Int>::max())) return std::nullopt;
    return negative ? static_cast<Int>(UInt{0} - value) : static_cast<Int>(value);
}

}  // namespace

std::optional<int> parseInteger(const QString& text) { return parseSigned<int>(text, true); }

std::optional<long long> parseInteger64(const QString& text) { return parseSigned<long long>(text, true); }

std::optional<int> parseDecimalInteger(const QString& text) { return parseSigned<int>(text, false); }

long long leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    constexpr long long cap = std::numeric_limits<long long>::max() / 10 - 10;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        if (value < cap) value = value * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

}  // namespace zelq
