#pragma once
// Qt's own texts in Chinese: the file dialogs, the questions they ask, the context menus of edit boxes and
// the browser's error pages. The program speaks Chinese whatever the user's locale is, so the translation
// is chosen here, not by the environment. UI thread only; made once, after the application object.

#include <QLocale>
#include <QTranslator>

namespace zelq {

class QtChinese {
public:
    QtChinese();
    ~QtChinese();
    QtChinese(const QtChinese&) = delete;
    QtChinese& operator=(const QtChinese&) = delete;

    // Whether Qt's base translation was found (Debian's qt6-translations-l10n provides it).
    bool loaded() const { return baseLoaded_; }

private:
    QLocale previous_;
    QTranslator base_;
    QTranslator web_;
    bool baseLoaded_ = false;
    bool webLoaded_ = false;
};

}  // namespace zelq
