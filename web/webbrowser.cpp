#include "web/webbrowser.h"

#include <QResizeEvent>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "web/browserprocess.h"
#include "web/bundledsite.h"

namespace zelq {

namespace {

// The body and title of the main frame, or null while there is no body; read in a world of its own so
// that a page's scripts can neither see nor change the answer.
const QString kReadDocument = QStringLiteral(
    "(function(){var b=document.body;return b?[b.outerHTML,document.title]:null;})()");

}  // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) { ensureBrowserProcessPrepared(); }

void WebBrowser::Navigate(const QString& address) {
    ++navigationCount_;
    if (!view_ && !browsersLeftOut()) makeView();
    if (view_) view_->load(QUrl(address));
}

void WebBrowser::makeView() {
    installBundledSite();
    view_ = new QWebEngineView(this);
    view_->setGeometry(rect());
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    connect(view_, &QWebEngineView::loadStarted, this, [this] { lastLoadFailed_ = false; });
    connect(view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
        lastLoadFailed_ = !ok;
        emit NavigateComplete2();
    });
    view_->show();
}

QString WebBrowser::LocationURL() const { return view_ ? view_->url().toString() : QString(); }

void WebBrowser::readDocument(std::function<void(std::optional<PageDocument>)> done) {
    if (!view_) {
        done(std::nullopt);
        return;
    }
    view_->page()->runJavaScript(
        kReadDocument, QWebEngineScript::ApplicationWorld,
        [guard = QPointer<WebBrowser>(this), done = std::move(done)](const QVariant& result) {
            if (!guard) return;
            const QVariantList parts = result.toList();
            if (parts.size() != 2) {
                done(std::nullopt);
                return;
            }
            done(PageDocument{parts[0].toString(), parts[1].toString()});
        });
}

void WebBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(rect());
}

}  // namespace zelq
