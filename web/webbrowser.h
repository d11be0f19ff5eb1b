#pragma once
// WebBrowser, the embedded browser of the banner strip, the message window and the help window: a plain
// widget that makes its QWebEngineView on the first navigation, so that windows which never show a page
// cost nothing and the main window comes up without waiting for the browser engine. UI thread only.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QWebEngineView;

namespace zelq {

// What a page check reads from the loaded document.
struct PageDocument {
    QString bodyHtml;  // outer HTML of the body element
    QString title;
};

class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);

    // Starts loading an address; completion is reported by NavigateComplete2.
    void Navigate(const QString& address);
    // The address of the page shown or being loaded; empty before the first navigation.
    QString LocationURL() const;
    // The last navigation ended in the browser's own error page (no answer, no such page, refused).
    bool lastLoadFailed() const { return lastLoadFailed_; }
    // Reads the current document; done gets nothing when there is no document or no body yet. done runs
    // later on the UI thread, or never if the browser is destroyed first.
    void readDocument(std::function<void(std::optional<PageDocument>)> done);

    // Navigations started so far (the help window's reload rule is checked by it).
    int navigationCount() const { return navigationCount_; }

signals:
    // A navigation has completed, with a page or with an error page.
    void NavigateComplete2();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeView();

    QPointer<QWebEngineView> view_;
    bool lastLoadFailed_ = false;
    int navigationCount_ = 0;
};

}  // namespace zelq
