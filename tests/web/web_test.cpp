// The banner strip, the page check, the message, help and about windows and the site links, with the
// real browser engine and the bundled site.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "app/commandline.h"
#include "app/mainwindow_fixture.h"
#include "web/aboutus.h"
#include "web/bundledsite.h"
#include "web/checkwebpage.h"
#include "web/helpfrm.h"
#include "web/mymessage.h"
#include "web/sitelinks.h"
#include "web/webbrowser.h"

using namespace zelq;

namespace {

// Puts the site root back to the bundled site whatever a test set.
struct SiteRootGuard {
    explicit SiteRootGuard(const QString& root = {}) { SetSiteRoot(root); }
    ~SiteRootGuard() { SetSiteRoot({}); }
};

bool waitForLoad(WebBrowser* browser, int timeoutMs = 30000) {
    QSignalSpy loaded(browser, &WebBrowser::NavigateComplete2);
    return loaded.wait(timeoutMs);
}

QString writePage(const QTemporaryDir& dir, const QString& name, const QString& body) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>T</title></head>"
                           "<body>%1</body></html>").arg(body).toUtf8());
    return QUrl::fromLocalFile(f.fileName()).toString();
}

const QRect kParked(5, 5, 10, 10);

}  // namespace

TEST(SiteLinks, AddressesRootsAndMarkers) {
    EXPECT_EQ(BrowserAddress("example.org/x"), "http://example.org/x");
    EXPECT_EQ(BrowserAddress("localhost:8080/x"), "http://localhost:8080/x");
    EXPECT_EQ(BrowserAddress("go?to=http://example.org"), "go?to=http://example.org");
    for (const char* kept : {"https://example.org/", "file:///tmp/x.html", "zelq-site:/gg/a.htm"}) {
        EXPECT_EQ(BrowserAddress(kept), kept);
    }

    {
        SiteRootGuard root("https://example.org/site");
        EXPECT_EQ(SiteAddress("gg/a.htm"), "https://example.org/site/gg/a.htm");
        SetSiteRoot("/srv/site/");
        EXPECT_EQ(SiteRoot(), "file:///srv/site/");
        // A local site's folders are their index pages, not the browser's listing of them.
        EXPECT_EQ(SiteAddress("demo/screenrec/"), "file:///srv/site/demo/screenrec/index.html");
        EXPECT_EQ(SiteAddress(""), "file:///srv/site/index.html");
        EXPECT_EQ(SiteAddress("gg/a.htm"), "file:///srv/site/gg/a.htm");
        QString opened;
        OpenUrlInBrowser(SiteRoot(), [&opened](const QString& a) { opened = a; });
        EXPECT_EQ(opened, "file:///srv/site/index.html");
        // An address without a scheme is a web address.
        SetSiteRoot("127.0.0.1:8765");
        EXPECT_EQ(SiteRoot(), "http://127.0.0.1:8765/");
        EXPECT_EQ(SiteAddress("demo/screenrec/"), "http://127.0.0.1:8765/demo/screenrec/");
        SetSiteRoot("");
        EXPECT_EQ(SiteRoot(), "zelq-site:/");
    }

    QProcessEnvironment env;
    env.insert("ZELQ_SITE_ROOT", "http://from-env/");
    EXPECT_EQ(ParseCommandLine({}, env).siteRoot, "http://from-env/");
    EXPECT_EQ(ParseCommandLine({"--site-root=http://a/"}, env).siteRoot, "http://a/");
    EXPECT_EQ(ParseCommandLine({"--other", "--site-root", "http://b/"}, env).siteRoot, "http://b/");
    EXPECT_EQ(ParseCommandLine({}, {}).siteRoot, "");

    // The desktop's browser gets a file copy of the bundled help document.
    const QUrl help(DesktopAddress("zelq-site:/demo/screenrec/"));
    ASSERT_TRUE(help.isLocalFile());
    QFile doc(help.toLocalFile());
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(doc.readAll()).contains("ZELQ屏幕录像助手 1.2 帮助文档"));
    EXPECT_EQ(DesktopAddress("zelq-site:/../etc/passwd"), "zelq-site:/../etc/passwd");

    EXPECT_TRUE(IsErrorPageText("<body>Page NOT FOUND</body>"));
    EXPECT_TRUE(IsErrorPageText("<body><p>NotFound</p></body>"));
    EXPECT_TRUE(IsErrorPageText("<body>点取消返回</body>"));
    EXPECT_TRUE(IsErrorPageText("<body>无法显示网页</body>"));
    EXPECT_FALSE(IsErrorPageText("<body>not  found, found not</body>"));
}

TEST(PageCheck, ErrorPagesLeaveAndGoodPagesArePlaced) {
    QTemporaryDir dir;
    QWidget holder;
    holder.resize(300, 62);
    auto* browser = new WebBrowser(&holder);
    browser->setGeometry(kParked);
    holder.show();

    // No address yet: nothing to check.
    bool called = false;
    CheckWebPage(browser, 300, 62, [&](const QString&) { called = true; });
    QTest::qWait(300);
    EXPECT_EQ(browser->geometry(), kParked);
    EXPECT_FALSE(called);

    const auto check = [&](const QString& address) {
        browser->setGeometry(kParked);
        browser->Navigate(address);
        EXPECT_TRUE(waitForLoad(browser)) << address.toStdString();
        QString title;
        CheckWebPage(browser, 300, 62, [&](const QString& t) { title = t; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return browser->geometry() != kParked; }, 10000)) << address.toStdString();
        return title;
    };
    EXPECT_EQ(check(writePage(dir, "good.html", "录像小提示")), "T");
    EXPECT_EQ(browser->geometry(), QRect(-4, -4, 308, 70));

    for (const QString& body : {QStringLiteral("Page NOT Found"), QStringLiteral("<p>按取消返回</p>"),
                                QStringLiteral("无法显示"), QStringLiteral("notfound")}) {
        check(writePage(dir, "bad.html", body));
        EXPECT_EQ(browser->x(), -2000) << body.toStdString();
        EXPECT_EQ(browser->height(), 0);
    }
    // A missing page of the bundled site, and an address nobody answers.
    for (const QString& address : {QStringLiteral("zelq-site:/gg/none.htm"), QStringLiteral("http://127.0.0.1:9/")}) {
        check(address);
        EXPECT_EQ(browser->x(), -2000) << address.toStdString();
    }
}

class WebMainWindowTest : public test::MainWindowTest {};

TEST_F(WebMainWindowTest, FirstRunShowsBannerAndHelpWhichReloadsOnlyWhenReshown) {
    SiteRootGuard root;
    TFrmScreenCam& w = open();
    ASSERT_TRUE(w.FirstRun);
    w.show();

    // One second after the showing the banner loads, passes its check a second later and covers the strip.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.WebBrowserTop->y() == -4; }, 30000));
    EXPECT_EQ(w.WebBrowserTop->geometry(), QRect(-4, -4, w.SbAvert->width() + 8, 70));
    EXPECT_EQ(w.WebBrowserTop->LocationURL(), "zelq-site:/gg/screenrec_firsttop.htm");

    ASSERT_TRUE(w.FrmHelp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.FrmHelp->isVisible(); }));
    WebBrowser* help = w.FrmHelp->WebBrowser1;
    EXPECT_EQ(help->navigationCount(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->LocationURL() == "zelq-site:/demo/screenrec/"; }, 30000));

    // Pressing the button while the window is up only brings it forward.
    w.BtnHelpDoc->click();
    EXPECT_EQ(help->navigationCount(), 1);
    w.FrmHelp->SpeedButton1->click();
    EXPECT_FALSE(w.FrmHelp->isVisible());
    w.BtnHelpDoc->click();
    EXPECT_EQ(help->navigationCount(), 2);
    w.FrmHelp->close();

    // On a first run every showing of the main window opens the help again.
    w.hide();
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.FrmHelp->isVisible(); }, 10000));
    EXPECT_EQ(help->navigationCount(), 3);
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(WebMainWindowTest, UnreachableSiteHidesBannerQuietly) {
    SiteRootGuard root("http://127.0.0.1:9/");
    TFrmScreenCam& w = open();
    w.show();
    w.WebBrowserTop->move(-4, -4);
    w.TimerFirstRunTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.WebBrowserTop->x() == -2000; }, 30000));
    ASSERT_TRUE(w.FrmHelp && w.FrmHelp->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.FrmHelp->WebBrowser1->lastLoadFailed(); }, 30000));
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(WebMainWindowTest, BannerTimersDrawAndLinks) {
    TFrmScreenCam& w = open();
    EXPECT_FALSE(w.TimerFirstRun->isActive());
    EXPECT_TRUE(w.TimerRunAvert->isActive());
    EXPECT_EQ(w.TimerRunAvert->interval(), 90000);

    // Two completed navigations within a second give one check, a second after the first.
    QSignalSpy ticks(w.TimerCheckTopBrowser, &QTimer::timeout);
    emit w.WebBrowserTop->NavigateComplete2();
    QTest::qWait(600);
    emit w.WebBrowserTop->NavigateComplete2();
    EXPECT_LT(w.TimerCheckTopBrowser->remainingTime(), 600);
    QTest::qWait(1500);
    EXPECT_EQ(ticks.count(), 1);

    int everyday = 0;
    const int draws = 20000;
    for (int i = 0; i < draws; ++i) {
        const QString page = TFrmScreenCam::RandomBannerPage();
        ASSERT_TRUE(page == "gg/screenrec_nexttop.htm" || page == "gg/screenrec_nowtop.htm");
        everyday += page == "gg/screenrec_nexttop.htm";
    }
    EXPECT_NEAR(double(everyday) / draws, 0.83, 0.02);

    // The strip and the about window's link hand the site to the desktop; the about window is kept.
    QTest::mouseClick(w.Image48, Qt::LeftButton);
    w.BtnAboutUS->click();
    QPointer<TFrmVersion> about = w.FrmVersion;
    ASSERT_TRUE(about);
    EXPECT_EQ(about->windowTitle(), "关于...");
    QTest::mouseClick(about->Label1, Qt::LeftButton);
    about->SpeedButton1->click();
    EXPECT_FALSE(about->isVisible());
    w.BtnAboutUS->click();
    EXPECT_EQ(w.FrmVersion, about);
    EXPECT_TRUE(about->isVisible());
    ASSERT_EQ(opened.size(), 2);
    for (const QString& target : opened) EXPECT_TRUE(QFile::exists(QUrl(target).toLocalFile())) << target.toStdString();
}

TEST(MessageWindow, CounterWrapsAndAGoodPageShowsTheWindow) {
    SiteRootGuard root;
    TFrmMyMessage message;
    EXPECT_FALSE(message.isVisible());
    EXPECT_FALSE(message.Timer1->isActive());
    EXPECT_FALSE(message.Timer2->isActive());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(message.pos(), QPoint(screen.width() - 307 - 20, screen.height() - 215 - 30));

    for (int expected : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1}) {
        message.Timer1Timer();
        ASSERT_EQ(message.PageNumber, expected);
    }
    EXPECT_EQ(message.WebBrowser1->x(), -2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return message.isVisible(); }, 30000));
    EXPECT_EQ(message.WebBrowser1->LocationURL(), "zelq-site:/screenrec1_1/scroll/1.html");
    EXPECT_EQ(message.LblTitle->text(), "小提示 1/10：开始录像");
    EXPECT_EQ(message.WebBrowser1->geometry(), QRect(-4, -4, 295, 179));

    message.SpeedButton1->click();
    EXPECT_FALSE(message.isVisible());
}
