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
    text += QStringLiteral("  --site-root=地址    横幅和帮助文档所用网站的根地址（默认用程序自带的网站，\n"
                           "                      也可由环境变量 ZELQ_SITE_ROOT 给出）\n");
    text += QStringLiteral(
        "\n从脚本录像（发给正在运行的程序；没有在运行时，开始录像的动作不显示主窗口自己录像，文件完成后退出）：\n"
        "  --record-full         录制整个屏幕\n"
        "  --record-area=X,Y,宽x高  录制屏幕上的一个区域（屏幕像素），例如 100,100,640x480\n"
        "  --duration=秒         录到文件有这么长时自动停止\n"
        "  --countdown=秒        先在屏幕上倒计时，倒计时不会录进文件\n"
        "  --sound=none|computer|microphone|both  声音\n"
        "  --compressor=名称     压缩器（如 MSVC）\n"
        "  --interval=毫秒       捕获间隔\n"
        "  --rate=帧数           写入文件的帧率\n"
        "  --output=文件         录像文件（已有的文件不会被覆盖，改用下一个空闲的名字）\n"
        "  --wait                录像文件完成后才返回，并输出文件路径\n"
        "  --stop, --pause, --resume, --toggle-pause  停止、暂停、继续、暂停或继续正在进行的录像\n"
        "  --status              输出录像状态\n"
        "\n导出录像（在本进程中进行，不显示窗口，不需要显示器）：\n"
        "  --export=文件 --format=mp4|webm|gif  把录像导出为 MP4、WebM 或 GIF；进度输出到标准错误，\n"
        "                        完成后输出文件路径（默认放在录像旁边，同名，已有的文件不会被覆盖）\n"
        "  --output=文件         导出到这个文件（已经存在时不导出）\n"
        "\n退出码：0 完成；2 参数错误；3 没有可以停止或暂停的录像；4 录像不能开始、不能导出，或正在运行的程序几秒内没有回答（原因见标准错误输出）。\n"
        "会话总线接口：com.zelqware.ScreenRec（/com/zelqware/ScreenRec）。\n");
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

CommandLine ParseCommandLine(const QStringList& arguments, const QProcessEnvironment& environment) {
    CommandLine result;
    result.siteRoot = environment.value(QStringLiteral("ZELQ_SITE_ROOT"));
    const QString siteRoot = QStringLiteral("--site-root");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--")) break;
        if (arg.startsWith(siteRoot + QLatin1Char('='))) {
            result.siteRoot = arg.mid(siteRoot.size() + 1);
        } else if (arg == siteRoot && i + 1 < arguments.size()) {
            result.siteRoot = arguments[++i];
        }
    }
    return result;
}

}  // namespace zelq
