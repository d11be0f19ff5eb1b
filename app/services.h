#pragma once
// What the main window takes from outside: the box service and where its settings file lives. The
// program passes the real ones; tests pass the scripted Dialogs and a settings file in a temporary folder.

#include <QString>

namespace zelq {

class Dialogs;
class Clock;

struct AppServices {
    Dialogs* dialogs = nullptr;
    Clock* clock = nullptr;
    // The settings file; the program uses "defualt.ini" beside its executable.
    QString settingsPath;
};

// "defualt.ini" in the folder of the running executable (the working folder plays no part).
QString defaultSettingsPath();

}  // namespace zelq
