#include "platform/qtchinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace zelq {

QtChinese::QtChinese() {
    // The browser takes its language (error pages included) from the default locale when it starts.
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    baseLoaded_ = base_.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
                  QCoreApplication::installTranslator(&base_);
    // The browser's own menus; a missing file only leaves them in English.
    webLoaded_ = web_.load(chinese, QStringLiteral("qtwebengine"), QStringLiteral("_"), folder) &&
                 QCoreApplication::installTranslator(&web_);
}

QtChinese::~QtChinese() {
    if (webLoaded_)
        QCoreApplication::removeTranslator(&web_);
    if (baseLoaded_)
        QCoreApplication::removeTranslator(&base_);
    QLocale::setDefault(previous_);
}

}  // namespace zelq
