#pragma once
// The program's own site, carried in its resources under :/site and served to the embedded browsers
// under the address scheme "zelq-site:" (zelq-site:/gg/screenrec_firsttop.htm). It works with no network
// and from any folder the program is run or installed in. UI thread only, except where noted.

#include <QString>

namespace zelq {

// The root address of the bundled site.
inline constexpr char kBundledSiteRoot[] = "zelq-site:/";

// Tells the browser engine about the scheme. Called before the QApplication exists (browserprocess.cpp).
void registerBundledSiteScheme();

// Serves the scheme to every browser of the process; done once, before the first page is loaded.
void installBundledSite();

// The desktop's browser does not know the scheme: an address of the bundled site is answered with a
// file address into a copy of the site written to the user's cache folder. Other addresses are returned
// unchanged. A folder address ("demo/screenrec/") names the folder's index.html.
QString DesktopAddress(const QString& address);

}  // namespace zelq
