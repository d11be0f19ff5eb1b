// The banner strip at the top of the main window, and the help and about windows it opens.
#include <QRandomGenerator>

#include "app/screencam.h"
#include "platform/guard.h"
#include "platform/switchtimer.h"
#include "web/aboutus.h"
#include "web/checkwebpage.h"
#include "web/helpfrm.h"
#include "web/sitelinks.h"
#include "web/webbrowser.h"

namespace zelq {

namespace {

void showAndRaise(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

QString TFrmScreenCam::RandomBannerPage() {
    const int r = QRandomGenerator::global()->bounded(100);
    return r > 82 ? QStringLiteral("gg/screenrec_nowtop.htm") : QStringLiteral("gg/screenrec_nexttop.htm");
}

void TFrmScreenCam::TimerFirstRunTimer() {
    TimerFirstRun->stop();
    // A failed navigation skips the help window too.
    swallowErrors([this] {
        WebBrowserTop->Navigate(SiteAddress(QStringLiteral("gg/screenrec_firsttop.htm")));
        if (FirstRun) BtnHelpDoc->click();
    });
}

void TFrmScreenCam::LoadRandomBanner() { WebBrowserTop->Navigate(SiteAddress(RandomBannerPage())); }

void TFrmScreenCam::TimerRunAvertTimer() { LoadRandomBanner(); }

void TFrmScreenCam::WebBrowserTopNavigateComplete2() { switchOn(TimerCheckTopBrowser); }

void TFrmScreenCam::TimerCheckTopBrowserTimer() {
    TimerCheckTopBrowser->stop();
    CheckWebPage(WebBrowserTop, SbAvert->width(), SbAvert->height());
}

void TFrmScreenCam::Image48Click() { OpenUrlInBrowser(SiteRoot(), [this](const QString& a) { shellOpen(a); }); }

void TFrmScreenCam::BtnHelpDocClick() {
    if (!FrmHelp) FrmHelp = new TFrmHelp(this);
    showAndRaise(FrmHelp);
}

void TFrmScreenCam::BtnAboutUSClick() {
    if (!FrmVersion) FrmVersion = new TFrmVersion([this](const QString& a) { shellOpen(a); }, this);
    showAndRaise(FrmVersion);
}

void TFrmScreenCam::connectWebHandlers() {
    const auto handle = [this](auto* sender, auto signal, void (TFrmScreenCam::*handler)()) {
        connect(sender, signal, this, [this, handler] { swallowErrors([this, handler] { (this->*handler)(); }); });
    };
    handle(TimerFirstRun, &QTimer::timeout, &TFrmScreenCam::TimerFirstRunTimer);
    handle(TimerRunAvert, &QTimer::timeout, &TFrmScreenCam::TimerRunAvertTimer);
    handle(TimerCheckTopBrowser, &QTimer::timeout, &TFrmScreenCam::TimerCheckTopBrowserTimer);
    handle(WebBrowserTop, &WebBrowser::NavigateComplete2, &TFrmScreenCam::WebBrowserTopNavigateComplete2);
    Image48->installEventFilter(this);
}

}  // namespace zelq
