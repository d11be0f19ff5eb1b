#pragma once
// What the main window takes from outside: the box service, where its settings file lives and how it
// hands files to the desktop. The
// program passes the real ones; tests pass the scripted Dialogs and a settings file in a temporary folder.

#include <QString>
#include <functional>

namespace zelq {

class Dialogs;
class Clock;

struct AppServices {
    Dialogs* dialogs = nullptr;
    Clock* clock = nullptr;
    // The settings file; the program uses defaultSettingsPath().
    QString settingsPath;
    // Hands a file, folder or address to the desktop; the program uses ShellOpen. Tests record the calls
    // instead of starting a file manager or a player.
    std::function<void(const QString&)> shellOpen;
};

// "defualt.ini" in the folder of the running executable (the working folder plays no part), or in the
// user's configuration folder for an installed copy (settingsFilePath), whose folder it creates.
QString defaultSettingsPath();

}  // namespace zelq
