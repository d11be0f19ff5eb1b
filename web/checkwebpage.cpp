#include "web/checkwebpage.h"

#include <QPointer>

#include "platform/guard.h"
#include "web/webbrowser.h"

namespace zelq {

bool IsErrorPageText(const QString& bodyHtml) {
    // Only ASCII letters are lowered: the Chinese markers are compared as they are.
    QString lower = bodyHtml;
    for (QChar& c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
    }
    for (const QString& marker : {QStringLiteral("无法"), QStringLiteral("取消"), QStringLiteral("not found"),
                                  QStringLiteral("notfound")}) {
        if (lower.contains(marker)) return true;
    }
    return false;
}

void MoveOutOfView(WebBrowser* browser) { browser->setGeometry(-2000, browser->y(), browser->width(), 0); }

void CheckWebPage(WebBrowser* browser, int width, int height, std::function<void(const QString&)> goodPage) {
    if (!browser || browser->LocationURL().isEmpty()) return;
    // The browser's own error pages speak the user's language and carry none of the markers; a navigation
    // it reported as failed is an error page whatever it shows.
    if (browser->lastLoadFailed()) {
        MoveOutOfView(browser);
        return;
    }
    browser->readDocument([browser = QPointer<WebBrowser>(browser), width, height,
                           goodPage = std::move(goodPage)](std::optional<PageDocument> document) {
        swallowErrors([&] {
            if (!browser || !document) return;
            if (browser->lastLoadFailed() || IsErrorPageText(document->bodyHtml)) {
                MoveOutOfView(browser);
                return;
            }
            browser->setGeometry(-4, -4, width + 8, height + 8);
            if (goodPage) goodPage(document->title);
        });
    });
}

}  // namespace zelq
