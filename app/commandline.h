#pragma once
// The options the program answers on the command line. They are answered before the application object
// exists, so --help and --version work without a display. Everything else on the command line is left to
// Qt (-display, -platform and its other standard options).

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace zelq {

struct CommandLineAnswer {
    int exitCode = 0;
    QString text;  // for standard output
};

// What to print and the exit status when the arguments (without the program's name) ask for something
// that ends the program at once; nothing when the program is to start its window.
std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments);

// The settings the command line and the environment give the run.
struct CommandLine {
    // Another site root for the banner, message and help pages: --site-root=ADDRESS (or --site-root
    // ADDRESS), else the environment variable ZELQ_SITE_ROOT; empty means the bundled site. Never stored.
    QString siteRoot;
};

// Reads them from the arguments (without the program's name). Options it does not know are left alone:
// Qt and the browser engine read theirs from the same command line.
CommandLine ParseCommandLine(const QStringList& arguments,
                             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace zelq
