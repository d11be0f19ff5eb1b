#include "commandline.h"

#include <array>

#include "app/appinfo.h"

namespace zelq {

namespace {

enum class Answer { Help, Version };

struct Option {
    const char* shortName;
    const char* longName;
    const char* description;
    Answer answer;
};

// Every option the program has, as --help lists it.
constexpr std::array kOptions{
    Option{"-h", "--help", "显示本帮助并退出", Answer::Help},
    Option{"-v", "--version", "显示程序名称和版本并退出", Answer::Version},
};

QString helpText() {
    QString text = QStringLiteral("用法：zelq-screenrec [选项]\n"
                                  "%1：录制整个屏幕或屏幕上的一个区域，保存为 AVI 录像。\n\n"
                                  "选项：\n")
                       .arg(programTitle());
    for (const Option& option : kOptions) {
        const QString names =
            QStringLiteral("%1, %2").arg(QLatin1String(option.shortName), QLatin1String(option.longName));
        text += QStringLiteral("  %1%2\n").arg(names.leftJustified(18), QString::fromUtf8(option.description));
    }
    text += QStringLiteral("\n另外接受 Qt 的标准选项，例如 -display <显示>。\n");
    return text;
}

CommandLineAnswer answer(Answer what) {
    if (what == Answer::Help) return {0, helpText()};
    return {0, programTitle() + QLatin1Char(' ') + programVersion() + QLatin1Char('\n')};
}

}  // namespace

std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--")) break;  // what follows is no option
        for (const Option& option : kOptions) {
            if (argument == QLatin1String(option.shortName) || argument == QLatin1String(option.longName)) {
                return answer(option.answer);
            }
        }
    }
    return std::nullopt;
}

}  // namespace zelq
