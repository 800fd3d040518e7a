#include "desktop/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <stdexcept>

namespace {

// A value of the string type: a backslash and the control characters are escaped.
QString escapedString(const QString& value) {
    QString text = value;
    text.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(u'\n', QStringLiteral("\\n"));
    text.replace(u'\t', QStringLiteral("\\t"));
    text.replace(u'\r', QStringLiteral("\\r"));
    return text;
}

// One quoted argument of Exec: inside the quotes ", `, $ and \ take a backslash, a % is
// doubled; then the line is a string value, so each backslash is escaped once more.
QString execArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    return escapedString(u'"' + quoted + u'"');
}

// The command line that starts program. GLib's menus (GNOME, Xfce, Cinnamon, MATE) look the
// program up before they turn %% back into %, and drop an entry whose program they cannot
// find: a program whose path holds % is started through the shell, which is found.
QString execCommand(const QString& program) {
    if (!program.contains(u'%'))
        return execArgument(program);
    return QStringLiteral("sh -c ") + execArgument(QStringLiteral("exec \"$0\"")) + u' ' + execArgument(program);
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

QString absoluteFolder(const QString& folder) {
    if (folder.isEmpty())
        fail(QStringLiteral("文件夹名不能为空"));
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

bool holdsProgram(const QString& folder) {
    const QFileInfo program(QDir(folder).filePath(QStringLiteral("xiyao")));
    return program.isFile() && program.isExecutable();
}

} // namespace

QString desktopEntryText(const QString& programFolder) {
    const QDir folder(programFolder);
    QFile templateFile(QStringLiteral(":/desktop/xiyao.desktop.in"));
    if (!templateFile.open(QIODevice::ReadOnly))
        fail(QStringLiteral("程序里缺少桌面启动项的模板"));
    QString text = QString::fromUtf8(templateFile.readAll());
    text.replace(QStringLiteral("\"@XIYAO_PROGRAM@\""), execCommand(folder.filePath(QStringLiteral("xiyao"))));
    text.replace(QStringLiteral("@XIYAO_FOLDER@"), escapedString(folder.path()));
    text.replace(QStringLiteral("@XIYAO_ICON@"), escapedString(folder.filePath(QStringLiteral("xiyao.png"))));
    return text;
}

QString writeDesktopEntry(const QString& programFolder, const QString& targetFolder, const QString& stagingRoot) {
    const QString program = absoluteFolder(programFolder);
    const QString target = absoluteFolder(targetFolder);
    // An entry that cannot start the program is worse than none: the menu would offer it.
    if (!holdsProgram(program) && (stagingRoot.isEmpty() || !holdsProgram(absoluteFolder(stagingRoot + program))))
        fail(QStringLiteral("文件夹 %1 里没有可执行的程序 xiyao，没有写入桌面启动项")
                 .arg(QDir::toNativeSeparators(program)));
    if (!QDir().mkpath(target))
        fail(QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(target)));
    const QString path = QDir(target).filePath(QStringLiteral("xiyao.desktop"));
    // Written whole or not at all: a menu entry cut short would not start anything.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(desktopEntryText(program).toUtf8()) < 0 || !file.commit())
        fail(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    // The desktop asks launchers outside its own folders to be executable before it trusts them.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

QString userApplicationsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
}
