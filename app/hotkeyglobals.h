#pragma once
// The stop hot key as the hot-key dialog leaves it: two modifier texts (empty for none) and the key's
// text. Plain Esc at every start; they live only for the run. UI thread only.

#include <QString>

namespace zelq {

extern QString HotKeyModifier1;
extern QString HotKeyModifier2;
extern QString HotKeyKey;

// Back to plain Esc.
void ResetStopHotKey();

}  // namespace zelq
