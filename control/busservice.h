#pragma once
// The program on the session bus: the name com.zelqware.ScreenRec, the object /com/zelqware/ScreenRec,
// the interface com.zelqware.ScreenRec (com.zelqware.ScreenRec.xml beside this file). It answers for a
// ScriptedRecording and a ScriptedExport; a refused call is a bus error whose message says why, in Chinese.
//
// UI thread only: the bus delivers calls on the thread the object lives on.

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace zelq::control {

class ScriptedExport;
class ScriptedRecording;
struct Answer;

inline constexpr char kBusName[] = "com.zelqware.ScreenRec";
inline constexpr char kBusPath[] = "/com/zelqware/ScreenRec";
inline constexpr char kBusInterface[] = "com.zelqware.ScreenRec";
// Error names, one for each kind of refusal.
inline constexpr char kErrorBadRequest[] = "com.zelqware.ScreenRec.Error.BadRequest";
inline constexpr char kErrorBusy[] = "com.zelqware.ScreenRec.Error.Busy";
inline constexpr char kErrorNotRecording[] = "com.zelqware.ScreenRec.Error.NotRecording";
inline constexpr char kErrorCannotStart[] = "com.zelqware.ScreenRec.Error.CannotStart";

class BusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zelqware.ScreenRec")
public:
    BusService(ScriptedRecording& recording, ScriptedExport& exporter, QObject* parent = nullptr);
    // Takes the name on the session bus and offers the object. False, and a line in the log, when there
    // is no bus or another copy of the program has the name: it stays that copy's.
    bool publish();

public slots:
    void RecordFull(const QVariantMap& options);
    void RecordArea(int x, int y, int width, int height, const QVariantMap& options);
    void Stop();
    void Pause();
    void Resume();
    void TogglePause();
    QVariantMap Status();
    // Returns the path the export will write (empty when refused).
    QString Export(const QString& file, const QString& format, const QVariantMap& options);

signals:
    void Started(const QString& file);
    void Paused();
    void Resumed();
    void Finished(const QString& file, double seconds, int frames, int skipped);
    void Failed(const QString& reason);
    void ExportProgress(const QString& file, double fraction);
    void ExportFinished(const QString& file, const QString& path, const QString& error);

private:
    void answer(const Answer& answer);
    void record(bool area, const QRect& rect, const QVariantMap& options);
    ScriptedRecording& recording_;
    ScriptedExport& exporter_;
};

}  // namespace zelq::control
