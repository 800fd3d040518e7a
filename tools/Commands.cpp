#include "tools/Commands.h"

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "exchange/Csv.h"
#include "exchange/DrugCheck.h"
#include "exchange/DrugExport.h"
#include "exchange/DrugImport.h"
#include "pinyin/Cp936.h"
#include "pinyin/PinyinInitials.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

int fail(ToolStreams& streams, const QString& message) {
    streams.err << QStringLiteral("xiyao-db：错误：") << message << Qt::endl;
    return 1;
}

// Commands that compute initials refuse to run rather than give wrong ones.
bool initialsAvailable(ToolStreams& streams) {
    if (pinyin::cp936Available())
        return true;
    fail(streams, pinyin::ConverterMissingMessage);
    return false;
}

} // namespace

int createCommand(const QString& file, ToolStreams& streams) {
    try {
        DrugConnection::create(file, DrugPassword);
    } catch (const DatabaseError& error) {
        return fail(streams, error.message());
    }
    streams.err << QStringLiteral("已创建空的药品数据库：%1").arg(native(file)) << Qt::endl;
    return 0;
}

int importCommand(const QString& file, const QString& csv, ToolStreams& streams) {
    if (!initialsAvailable(streams))
        return 1;
    QFile input(csv);
    if (!input.open(QIODevice::ReadOnly))
        return fail(streams, QStringLiteral("无法读取 %1：%2").arg(native(csv), input.errorString()));
    try {
        DrugConnection connection;
        connection.openFile(file, DrugPassword);
        const qint64 imported = importDrugs(connection, input, [&streams](qint64 done, qint64 total) {
            streams.err << QStringLiteral("已导入 %1 / %2 行").arg(done).arg(total) << Qt::endl;
        });
        streams.err << QStringLiteral("已导入 %1 种药品").arg(imported) << Qt::endl;
        return 0;
    } catch (const CsvError& error) {
        return fail(
            streams,
            QStringLiteral("%1 第 %2 行：%3；数据库没有改动").arg(native(csv)).arg(error.line()).arg(error.message()));
    } catch (const DatabaseError& error) {
        return fail(streams, QStringLiteral("%1：%2；数据库没有改动").arg(native(file), error.message()));
    }
}

int exportCommand(const QString& file, ToolStreams& streams) {
    try {
        DrugConnection connection;
        connection.openFile(file, DrugPassword);
        if (!exportDrugs(connection, streams.out))
            return fail(streams, QStringLiteral("无法写出：%1").arg(streams.out.errorString()));
        return 0;
    } catch (const DatabaseError& error) {
        return fail(streams, QStringLiteral("%1：%2").arg(native(file), error.message()));
    }
}

int checkCommand(const QString& file, ToolStreams& streams) {
    if (!initialsAvailable(streams))
        return 1;
    QTextStream out(&streams.out);
    try {
        DrugConnection connection;
        connection.openFile(file, DrugPassword);
        const bool intact = checkDrugs(connection, out);
        out.flush();
        return intact ? 0 : 1;
    } catch (const DatabaseError& error) {
        out.flush();
        return fail(streams, QStringLiteral("%1：%2").arg(native(file), error.message()));
    }
}

int pinyinCommand(ToolStreams& streams) {
    if (!initialsAvailable(streams))
        return 1;
    QByteArray line;
    while (!(line = streams.in.readLine()).isEmpty()) {
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        streams.out.write(PinyinInitials(QString::fromUtf8(line)).toUtf8() + '\n');
    }
    return 0;
}

int runTool(const QStringList& arguments, ToolStreams& streams) {
    const QString usage = QStringLiteral("用法：\n"
                                         "  xiyao-db create 文件          新建空的加密药品数据库\n"
                                         "  xiyao-db import 文件 CSV      从 UTF-8 CSV 文件导入药品\n"
                                         "  xiyao-db export 文件          把全部药品以 CSV 写到标准输出\n"
                                         "  xiyao-db check 文件           检查数据库并列出拼音问题\n"
                                         "  xiyao-db pinyin               把标准输入的每一行换成拼音首字母\n");
    const QString command = arguments.value(0);
    const qsizetype count = arguments.size();
    if (command == QStringLiteral("create") && count == 2)
        return createCommand(arguments[1], streams);
    if (command == QStringLiteral("import") && count == 3)
        return importCommand(arguments[1], arguments[2], streams);
    if (command == QStringLiteral("export") && count == 2)
        return exportCommand(arguments[1], streams);
    if (command == QStringLiteral("check") && count == 2)
        return checkCommand(arguments[1], streams);
    if (command == QStringLiteral("pinyin") && count == 1)
        return pinyinCommand(streams);
    if (command == QStringLiteral("help") || command == QStringLiteral("--help")) {
        streams.err << usage;
        return 0;
    }
    streams.err << QStringLiteral("xiyao-db：命令或参数不对。\n") << usage;
    return 2;
}
