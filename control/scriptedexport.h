#pragma once
// An export asked for by a script over the session bus: the recording of a full path turned into a file
// to share in the running copy, through the window's own export (the same progress window the menu
// shows, one export at a time, cancelled by the start of a recording and by the window's end). The script
// hears progress a tenth at a time and the outcome as signals; nobody is asked anything (no message box,
// no question before a long GIF: the script asked for it).
//
// UI thread only: the window's export reports on that thread.

#include <QObject>
#include <QString>
#include <QVariantMap>

#include "control/scriptedrecording.h"

namespace zelq {
class TFrmScreenCam;
}

namespace zelq::control {

class ScriptedExport : public QObject {
    Q_OBJECT
public:
    ScriptedExport(TFrmScreenCam& window, const ScriptedRecording& recording, QObject* parent = nullptr);

    // Starts the export of `file` ("mp4", "webm" or "gif"; options: "output", a full path) and sets
    // `target` to the path it will write. A bad request, a recording or an export running is refused and
    // changes nothing. When the target's name is taken meanwhile the next free one is used: finished()
    // tells the path written.
    Answer start(const QString& file, const QString& format, const QVariantMap& options, QString& target);

signals:
    // The share of the recording's time done, each time another tenth is.
    void progressed(const QString& file, double fraction);
    // `path` the file made; empty on failure or cancel, with `error` saying why in Chinese.
    void finished(const QString& file, const QString& path, const QString& error);

private:
    TFrmScreenCam& window_;
    const ScriptedRecording& recording_;
};

}  // namespace zelq::control
