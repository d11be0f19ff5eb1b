#pragma once
// A main window made the way the program makes it, but with the scripted Dialogs, a settings file and a
// home folder inside a temporary folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/globalparam.h"
#include "app/screencam.h"
#include "common/scripted_dialogs.h"

namespace zelq::test {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        oldHome = qgetenv("HOME");
        home = dir.filePath("home");
        QDir().mkpath(home);
        qputenv("HOME", home.toUtf8());
        settingsPath = dir.filePath("defualt.ini");
    }
    void TearDown() override {
        window.reset();
        qputenv("HOME", oldHome);
    }

    void writeSettings(const QByteArray& text) {
        QFile f(settingsPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray settingsText() const {
        QFile f(settingsPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TFrmScreenCam& open() {
        AppServices services;
        services.dialogs = &dialogs;
        services.settingsPath = settingsPath;
        services.shellOpen = [this](const QString& target) { opened << target; };
        window = std::make_unique<TFrmScreenCam>(services);
        return *window;
    }
    // Destroys the window as closing the program does: stop, save, free.
    void closeProgram() { window.reset(); }

    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < window->LbVideoList->count(); ++i) names << window->LbVideoList->item(i)->text();
        return names;
    }

    // Files a test puts into the recording folder.
    void touch(const QString& folder, const QStringList& names) {
        QDir().mkpath(folder);
        for (const QString& name : names) {
            QFile f(folder + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        }
    }
    QString recordingFolder() const { return home + "/ZelqWare/ScreenREC/"; }

    QTemporaryDir dir;
    QStringList opened;  // what was handed to the desktop
    QString home;
    QString settingsPath;
    QByteArray oldHome;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFrmScreenCam> window;
};

}  // namespace zelq::test
