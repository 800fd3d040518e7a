#include "tools/Commands.h"

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "data/Statement.h"
#include "pinyin/Cp936.h"
#include "pinyin/PinyinInitials.h"
#include "tools/Csv.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTextStream>

namespace {

constexpr qint64 kProgressStep = 10000;

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

// Which CSV column goes into which table column; the key and the initials are never taken
// from the file.
struct ImportPlan {
    int fieldCount = 0;
    int chineseNameField = -1;
    QList<int> sourceFields;
    QStringList targetColumns;
};

ImportPlan readHeader(CsvReader& reader) {
    QList<QByteArray> fields;
    if (!reader.next(fields))
        throw CsvError(1, QStringLiteral("文件是空的，缺少表头"));
    const QStringList known = drugColumns();
    ImportPlan plan;
    plan.fieldCount = static_cast<int>(fields.size());
    QSet<QString> seen;
    for (int i = 0; i < fields.size(); ++i) {
        QString name;
        if (!decodeUtf8(fields[i], name))
            throw CsvError(reader.recordLine(), QStringLiteral("表头不是有效的 UTF-8 文本"));
        name = name.trimmed();
        if (!known.contains(name))
            throw CsvError(reader.recordLine(), QStringLiteral("未知的列：“%1”").arg(name));
        if (seen.contains(name))
            throw CsvError(reader.recordLine(), QStringLiteral("列“%1”出现了两次").arg(name));
        seen.insert(name);
        if (name == ChineseNameColumn)
            plan.chineseNameField = i;
        if (name == KeyColumn || name == InitialsColumn)
            continue;
        plan.sourceFields.append(i);
        plan.targetColumns.append(name);
    }
    if (plan.chineseNameField < 0)
        throw CsvError(reader.recordLine(), QStringLiteral("表头中缺少“中文名”列"));
    return plan;
}

// The record's fields as text, or CsvError for a row that must not be imported.
QStringList decodeRow(const CsvReader& reader, const QList<QByteArray>& fields, const ImportPlan& plan) {
    if (fields.size() != plan.fieldCount)
        throw CsvError(reader.recordLine(),
                       QStringLiteral("有 %1 个字段，表头有 %2 个").arg(fields.size()).arg(plan.fieldCount));
    QStringList texts;
    texts.reserve(fields.size());
    for (const QByteArray& field : fields) {
        QString text;
        if (!decodeUtf8(field, text))
            throw CsvError(reader.recordLine(), QStringLiteral("不是有效的 UTF-8 文本"));
        texts.append(text);
    }
    if (texts[plan.chineseNameField].trimmed().isEmpty())
        throw CsvError(reader.recordLine(), QStringLiteral("缺少中文名"));
    return texts;
}

bool openCsv(QFile& file, ToolStreams& streams) {
    if (!file.open(QIODevice::ReadOnly)) {
        fail(streams, QStringLiteral("无法读取 %1：%2").arg(native(file.fileName()), file.errorString()));
        return false;
    }
    return true;
}

// The first pass reads every row without touching the drug file, so a bad row stops the
// import before anything is written.
qint64 countValidRows(QFile& file) {
    CsvReader reader(file);
    const ImportPlan plan = readHeader(reader);
    QList<QByteArray> fields;
    qint64 rows = 0;
    while (reader.next(fields)) {
        decodeRow(reader, fields, plan);
        ++rows;
    }
    return rows;
}

void insertRows(QFile& file, DrugConnection& connection, qint64 total, ToolStreams& streams) {
    CsvReader reader(file);
    const ImportPlan plan = readHeader(reader);
    QStringList columns;
    QStringList marks;
    for (const QString& column : plan.targetColumns) {
        columns.append(quotedIdentifier(column));
        marks.append(QStringLiteral("?"));
    }
    columns.append(quotedIdentifier(InitialsColumn));
    marks.append(QStringLiteral("?"));
    Statement insert(connection.handle(),
                     QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(quotedIdentifier(DrugTableName), columns.join(u','), marks.join(u',')));
    QList<QByteArray> fields;
    qint64 done = 0;
    while (reader.next(fields)) {
        const QStringList texts = decodeRow(reader, fields, plan);
        int position = 1;
        for (const int source : plan.sourceFields)
            insert.bind(position++, Cell(texts[source]));
        insert.bind(position, Cell(PinyinInitials(texts[plan.chineseNameField])));
        insert.step();
        insert.reset();
        ++done;
        if (total >= kProgressStep && done % kProgressStep == 0)
            streams.err << QStringLiteral("已导入 %1 / %2 行").arg(done).arg(total) << Qt::endl;
    }
}

QString describeUnit(QChar c) {
    if (c.isSpace() || !c.isPrint() || c.isSurrogate())
        return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return QString(c);
}

// The characters of a name that give the keypad no letter, each once, in order.
QStringList charactersWithoutLetter(const QString& name) {
    QStringList found;
    for (const QChar c : name) {
        const char16_t initial = pinyin::InitialOf(c.unicode());
        const bool isLetter = (initial >= u'A' && initial <= u'Z') || (initial >= u'a' && initial <= u'z');
        if (!isLetter && !found.contains(describeUnit(c)))
            found.append(describeUnit(c));
    }
    return found;
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
    if (!openCsv(input, streams))
        return 1;
    DrugConnection connection;
    try {
        connection.openFile(file, DrugPassword);
        const qint64 total = countValidRows(input);
        input.seek(0);
        // Large enough that nothing reaches the file before the commit.
        connection.execute(QStringLiteral("PRAGMA cache_size = -1000000"));
        connection.beginTransaction();
        insertRows(input, connection, total, streams);
        connection.commit();
        streams.err << QStringLiteral("已导入 %1 种药品").arg(total) << Qt::endl;
        return 0;
    } catch (const CsvError& error) {
        connection.rollback();
        return fail(
            streams,
            QStringLiteral("%1 第 %2 行：%3；数据库没有改动").arg(native(csv)).arg(error.line()).arg(error.message()));
    } catch (const DatabaseError& error) {
        connection.rollback();
        return fail(streams, QStringLiteral("%1：%2；数据库没有改动").arg(native(file), error.message()));
    }
}

int exportCommand(const QString& file, ToolStreams& streams) {
    try {
        DrugConnection connection;
        connection.openFile(file, DrugPassword);
        const QStringList columns = drugColumns();
        QStringList quoted;
        for (const QString& column : columns)
            quoted.append(quotedIdentifier(column));
        streams.out.write(columns.join(u',').toUtf8() + "\r\n");
        Statement select(connection.handle(),
                         QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                             .arg(quoted.join(u','), quotedIdentifier(DrugTableName), quotedIdentifier(KeyColumn)));
        while (select.step()) {
            QByteArray line;
            for (int i = 0; i < columns.size(); ++i) {
                if (i > 0)
                    line.append(',');
                line.append(csvField(select.column(i).toText().toUtf8()));
            }
            line.append("\r\n");
            if (streams.out.write(line) != line.size())
                return fail(streams, QStringLiteral("无法写出：%1").arg(streams.out.errorString()));
        }
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

        QStringList problems;
        Statement integrity(connection.handle(), QStringLiteral("PRAGMA integrity_check"));
        while (integrity.step())
            problems.append(integrity.column(0).toText());
        const bool intact = problems == QStringList{QStringLiteral("ok")};
        out << (intact ? QStringLiteral("完整性检查：正常") : QStringLiteral("完整性检查：发现问题")) << '\n';
        if (!intact) {
            for (const QString& problem : std::as_const(problems))
                out << QStringLiteral("  ") << problem << '\n';
        }

        Statement select(connection.handle(),
                         QStringLiteral("SELECT 编号, 中文名, 拼音 FROM %1 ORDER BY 编号").arg(DrugTableName));
        qint64 count = 0;
        QStringList mismatched;
        QStringList unreachable;
        while (select.step()) {
            ++count;
            const QString key = select.column(0).toText();
            const Cell name = select.column(1);
            const Cell stored = select.column(2);
            const QString expected = PinyinInitials(name.toText());
            if (stored.isNull() || stored.toText() != expected) {
                mismatched.append(QStringLiteral("  %1\t%2\t存储：%3\t应为：%4")
                                      .arg(key, name.toText(),
                                           stored.isNull() ? QStringLiteral("（空值）") : stored.toText(), expected));
            }
            const QStringList missing = charactersWithoutLetter(name.toText());
            if (!missing.isEmpty())
                unreachable.append(QStringLiteral("  %1\t%2\t%3").arg(key, name.toText(), missing.join(u' ')));
        }
        out << QStringLiteral("药品数：%1").arg(count) << '\n';
        out << QStringLiteral("拼音与中文名不符的药品：%1").arg(mismatched.size()) << '\n';
        for (const QString& line : std::as_const(mismatched))
            out << line << '\n';
        out << QStringLiteral("名称中有字符得不到字母的药品：%1").arg(unreachable.size()) << '\n';
        for (const QString& line : std::as_const(unreachable))
            out << line << '\n';
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
