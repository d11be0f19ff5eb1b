#include "hotkeyglobals.h"

namespace zelq {

QString HotKeyModifier1;
QString HotKeyModifier2;
QString HotKeyKey = QStringLiteral("Esc");

void ResetStopHotKey() {
    HotKeyModifier1.clear();
    HotKeyModifier2.clear();
    HotKeyKey = QStringLiteral("Esc");
}

}  // namespace zelq
