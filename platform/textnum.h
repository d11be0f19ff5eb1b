#pragma once
// The integer conversion the program uses wherever a text is read as a number (settings values,
// recording numbers): optional leading blanks, an optional sign, then decimal digits, or hexadecimal
// digits after "$", "0x" or "0X". The whole text must be used; anything else is no number.

#include <QString>
#include <optional>

namespace zelq {

// A 32-bit signed result. Decimal values outside that range are no number; hexadecimal values take the
// full 32-bit pattern, so "$FFFFFFFF" is -1.
std::optional<int> parseInteger(const QString& text);
// The same in 64 bits, for numbers that may pass 32 (the numbers in recordings' names).
std::optional<long long> parseInteger64(const QString& text);

// parseInteger without the hexadecimal forms: "0x10" and "$10" are no number here.
std::optional<int> parseDecimalInteger(const QString& text);

// The value of the decimal digits at the start of a text, after leading blanks and one sign; 0 when no
// digit starts it. Values beyond 32 bits saturate rather than wrap.
long long leadingNumber(const QString& text);

}  // namespace zelq
