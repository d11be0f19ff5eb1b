#pragma once
// The options the program answers on the command line. They are answered before the application object
// exists, so --help and --version work without a display. Everything else on the command line is left to
// Qt (-display, -platform and its other standard options).

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

}  // namespace zelq
