#pragma once
// How the browser engine runs in this process. The settings must be made before the QApplication exists,
// so they are made by a static initialiser of this library, which every program that shows a page (the
// program itself, its tests and benches) links through WebBrowser.

namespace zelq {

// Does nothing: calling it ties the initialiser into every program that makes a WebBrowser.
void ensureBrowserProcessPrepared();

// The bench's comparison run: ZELQ_NO_BROWSER=1 leaves every browser out, so the same build can be
// measured with and without the engine. Pages are then never loaded.
bool browsersLeftOut();

}  // namespace zelq
