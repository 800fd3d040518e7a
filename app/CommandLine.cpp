#include "app/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>

namespace {

// Options Qt takes itself, with one or two leading dashes; the first set takes a value.
const QSet<QString>& qtOptionsWithValue() {
    static const QSet<QString> names{
        QStringLiteral("platform"),
        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"),
        QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"),
        QStringLiteral("session"),
        QStringLiteral("display"),
        QStringLiteral("geometry"),
        QStringLiteral("style"),
        QStringLiteral("stylesheet"),
        QStringLiteral("name"),
        QStringLiteral("title"),
        QStringLiteral("visual"),
    };
    return names;
}

const QSet<QString>& qtFlags() {
    static const QSet<QString> names{QStringLiteral("reverse"), QStringLiteral("nograb"), QStringLiteral("dograb"),
                                     QStringLiteral("sync"), QStringLiteral("widgetcount")};
    return names;
}

} // namespace

CommandLine readCommandLine(const QStringList& arguments) {
    CommandLine line;
    if (arguments.value(0) == InstallDesktopEntryOption) {
        line.action = CommandLine::Action::InstallDesktopEntry;
        line.arguments = arguments.mid(1);
        return line;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (argument == ServerOption || argument.startsWith(ServerOption + u'=')) {
            const bool joined = argument.contains(u'=');
            if (!joined && i + 1 == arguments.size()) {
                line.action = CommandLine::Action::Refused;
                line.problem =
                    QStringLiteral("选项 --server 后面要写数据库服务器的地址，例如 postgresql://主机/数据库");
                return line;
            }
            line.server = joined ? argument.section(u'=', 1) : arguments[++i];
            continue;
        }
        QString name = argument;
        if (name.startsWith(QLatin1String("--")))
            name.remove(0, 1);
        const bool option = name.startsWith(u'-') && name.size() > 1;
        name = name.mid(1).section(u'=', 0, 0);
        if (option && qtFlags().contains(name))
            continue;
        if (option && qtOptionsWithValue().contains(name)) {
            if (!argument.contains(u'='))
                ++i; // its value
            continue;
        }
        line.action = CommandLine::Action::Refused;
        line.problem = option
                           ? QStringLiteral("未知的选项“%1”").arg(argument)
                           : QStringLiteral("多余的参数“%1”（程序总是打开它自己文件夹里的 qintabo.m）").arg(argument);
        return line;
    }
    return line;
}

QString helpText() {
    return QStringLiteral(
        "用法：xiyao [选项]\n"
        "西药手册：按拼音首字母查找西药，查看、打印、加入、修改和删除药品说明书。\n"
        "程序打开它自己文件夹里的药品数据库 qintabo.m。\n"
        "\n"
        "选项：\n"
        "  -h, --help        显示这些说明后退出\n"
        "  -v, --version     显示版本后退出\n"
        "  --server 地址     这一次使用数据库服务器上的药品清单，例如 postgresql://主机/数据库\n"
        "                    （多个座位共用一份清单；常用的服务器写在程序文件夹的 xiyao.ini：[server] url=…）\n"
        "  --install-desktop-entry [文件夹 [程序文件夹]]\n"
        "                    把桌面启动项 xiyao.desktop 写进文件夹（默认 ~/.local/share/applications）\n"
        "\n"
        "药品数据库的建立、导入、导出和检查用 xiyao-db（xiyao-db 不带参数显示它的用法）。\n"
        "窗口中：Ctrl+F 打开“查找药品”，可按名称的任意部分或完整拼音查找；Ctrl+D 收藏选中的药品，\n"
        "Ctrl+Shift+D 我的收藏，Ctrl+H 最近查看，Ctrl+Shift+N 我的笔记；F1 列出全部快捷键。\n"
        "您的收藏和笔记保存在 ~/.local/share/xiyao/user-store.db（xiyao-db notes export/import 可带到另一台电脑）。\n");
}

QString versionText() {
    return QStringLiteral("西药手册 xiyao %1\n").arg(QStringLiteral(XIYAO_VERSION));
}

std::optional<QString> seatServer(const CommandLine& line, const QString& programFolder) {
    if (line.server)
        return line.server;
    const QString file = QDir(programFolder).filePath(SeatSettingsFileName);
    // QSettings costs a start-up tens of milliseconds before the drug file's key is begun.
    if (!QFileInfo::exists(file))
        return std::nullopt;
    const QSettings settings(file, QSettings::IniFormat);
    // An unquoted comma makes the INI value a list; a URL may hold one (options=-c a=1,b=2).
    const QVariant value = settings.value(QStringLiteral("server/url"));
    const QString url =
        (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString()).trimmed();
    if (url.isEmpty())
        return std::nullopt;
    return url;
}
