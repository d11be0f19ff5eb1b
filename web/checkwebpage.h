#pragma once
// The page check of the banner and the message window: a page that failed or reads like an error page
// is moved out of view; a good page is placed over its holder. UI thread only.

#include <QString>
#include <functional>

namespace zelq {

class WebBrowser;

// Whether a page's body marks an error page: "无法", "取消", "not found" or "notfound" in any letter case.
bool IsErrorPageText(const QString& bodyHtml);

// Checks the browser's page. Nothing happens while it has no address, or when the document cannot be
// read. An error page (also the browser's own, after a failed navigation) goes out of view; a good page is
// placed at -4,-4 with the holder's width and height + 8, so that the browser's own border lies outside
// the holder, and goodPage runs with the document's title. The reading is asynchronous: the outcome
// arrives from the event loop.
void CheckWebPage(WebBrowser* browser, int width, int height,
                  std::function<void(const QString& title)> goodPage = {});

// Moves a browser out of view: far to the left and without height.
void MoveOutOfView(WebBrowser* browser);

}  // namespace zelq
