#include "app/recordingnames.h"

#include <cerrno>
#include <cstring>

#include "platform/paths.h"

namespace zelq {

QString recordingNameRefusal(const QString& name) {
    switch (fileNameProblem(name)) {
        case FileNameProblem::None: return {};
        case FileNameProblem::Empty: return QStringLiteral("录像名称不能为空。");
        case FileNameProblem::Separator: return QStringLiteral("录像名称不能包含“/”。");
        case FileNameProblem::DotName: return QStringLiteral("“%1”不能作为录像名称。").arg(name);
        case FileNameProblem::TooLong: return QStringLiteral("录像名称太长。");
    }
    return {};
}

QString fileRefusal(const QString& name, int error) {
    if (error == EEXIST) return QStringLiteral("已有同名文件：%1").arg(name);
    if (error == ENAMETOOLONG) return QStringLiteral("录像名称太长。");
    return QStringLiteral("无法修改名称：%1").arg(QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace zelq
