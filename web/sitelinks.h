#pragma once
// The site root and the addresses under it, and handing an address to the desktop's browser. The root
// is the bundled site unless the command line or the environment names another; it is never stored in
// the settings file. UI thread only.

#include <QString>
#include <functional>

namespace zelq {

using ShellOpener = std::function<void(const QString&)>;

// The root address, ending with "/".
QString SiteRoot();
// Sets the root: an address, or an absolute folder of this machine; empty restores the bundled site.
void SetSiteRoot(const QString& root);
// A path under the root ("gg/screenrec_nowtop.htm"); a folder of a local site is its index.html.
QString SiteAddress(const QString& path);
// The index.html of a local folder's address ("file:///site/demo/" becomes "file:///site/demo/index.html");
// any other address as it is.
QString folderPage(const QString& address);

// The address handed to the browser: "http://" in front of an address that names no scheme; one that
// does ("https://", "file:///", "zelq-site:/") or that carries "http://" anywhere is left as it is.
QString BrowserAddress(const QString& address);

// Opens an address in the desktop's browser through open (ShellOpen in the program).
void OpenUrlInBrowser(const QString& address, const ShellOpener& open);

}  // namespace zelq
