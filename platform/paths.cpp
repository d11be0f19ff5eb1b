#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>

namespace zelq {

namespace {

bool hasDriveLetter(const QString& text) { return text.size() >= 2 && text[1] == QLatin1Char(':'); }

// Everything up to and including the last separator or colon.
QString parentPart(const QString& text) {
    const qsizetype cut = std::max(text.lastIndexOf(kFolderSeparator), text.lastIndexOf(QLatin1Char(':')));
    return cut < 0 ? QString() : text.left(cut + 1);
}

}  // namespace

QString defaultRecordingFolder() { return QDir::homePath() + QStringLiteral("/ZelqWare/ScreenREC"); }

QString NormaliseFolder(const QString& folder) {
    return folder.endsWith(kFolderSeparator) ? folder : folder + kFolderSeparator;
}

CreateFolderResult CreateFolderPath(const QString& folder) {
    if (folder.isEmpty()) return CreateFolderResult::Refused;
    QString text = folder;
    if (text.endsWith(kFolderSeparator)) text.chop(1);
    const QString parent = parentPart(text);
    if (text.size() < 3 || FolderExists(text) || text == parent) return CreateFolderResult::Done;
    const CreateFolderResult parentResult = CreateFolderPath(parent);
    if (parentResult == CreateFolderResult::Refused) return parentResult;
    // A drive-letter text names a drive Linux does not have: creating it would only make a strangely
    // named folder in the working directory.
    if (hasDriveLetter(text)) return CreateFolderResult::Failed;
    const bool made = QDir().mkdir(text) || FolderExists(text);
    return parentResult == CreateFolderResult::Done && made ? CreateFolderResult::Done : CreateFolderResult::Failed;
}

bool DriveExists(const QString& drive) { return drive.trimmed() == QString(kFolderSeparator); }

QString DrivePart(const QString& folder) {
    const bool slashes = folder.startsWith(QStringLiteral("//"));
    const bool backslashes = folder.startsWith(QStringLiteral("\\\\"));
    if (slashes || backslashes) {
        const QChar sep = slashes ? kFolderSeparator : QLatin1Char('\\');
        const qsizetype server = folder.indexOf(sep, 2);
        if (server < 0) return folder;
        const qsizetype share = folder.indexOf(sep, server + 1);
        return share < 0 ? folder : folder.left(share);
    }
    if (folder.startsWith(kFolderSeparator)) return QString(kFolderSeparator);
    if (hasDriveLetter(folder)) return folder.left(2);
    return QString();
}

bool FolderExists(const QString& folder) { return !folder.isEmpty() && QFileInfo(folder).isDir(); }

bool FileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString settingsFilePath(const QString& programFolder, const SettingsLocation& where) {
    const QDir folder(programFolder);
    const QString beside = folder.filePath(where.fileName);
    const bool installed =
        !where.installedMarker.isEmpty() && QFileInfo::exists(folder.filePath(where.installedMarker));
    if (FileExists(beside) || (QFileInfo(programFolder).isWritable() && !installed)) return beside;

    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome)) configHome = QDir::homePath() + QStringLiteral("/.config");
    return QDir(configHome).filePath(where.userFolder + kFolderSeparator + where.fileName);
}

FileNameProblem fileNameProblem(const QString& name) {
    if (name.isEmpty()) return FileNameProblem::Empty;
    if (name.contains(kFolderSeparator) || name.contains(QChar(0))) return FileNameProblem::Separator;
    if (name == QLatin1String(".") || name == QLatin1String("..")) return FileNameProblem::DotName;
    if (QFile::encodeName(name).size() > NAME_MAX) return FileNameProblem::TooLong;
    return FileNameProblem::None;
}

}  // namespace zelq
