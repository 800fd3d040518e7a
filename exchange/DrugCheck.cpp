#include "exchange/DrugCheck.h"

#include "data/DrugConnection.h"
#include "data/DrugRows.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"
#include "pinyin/FindText.h"
#include "pinyin/PinyinInitials.h"
#include "pinyin/PinyinReadings.h"

#include <QFile>
#include <QTextStream>

namespace {

QStringList engineProblems(DrugConnection& connection) {
    QStringList problems;
    Statement integrity(connection, QStringLiteral("PRAGMA integrity_check"));
    while (integrity.step())
        problems.append(integrity.column(0).toText());
    if (problems == QStringList{QStringLiteral("ok")})
        problems.clear();
    return problems;
}

// The engine takes a page of zeros for one it never wrote and does not verify it, so a page
// blanked on the disk (the end of a long leaflet, say) escapes its check; an encrypted page is
// never all zeros.
QStringList pageProblems(DrugConnection& connection) {
    const qint64 pageSize = connection.pragmaNumber(QStringLiteral("page_size"));
    QFile file(connection.path());
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("无法读取文件：%1").arg(file.errorString())};
    QStringList problems;
    if (const QString length = connection.lengthFault(); !length.isEmpty())
        problems.append(length);
    // The page that holds the engine's lock bytes, 1 GiB into the file, is never written.
    const qint64 lockBytePage = (qint64(1) << 30) / pageSize + 1;
    const QByteArray zeros(pageSize, '\0');
    QByteArray bytes;
    for (qint64 page = 1; !(bytes = file.read(pageSize)).isEmpty(); ++page) {
        if (bytes == zeros && page != lockBytePage)
            problems.append(QStringLiteral("第 %1 页全是零，内容已丢失").arg(page));
    }
    return problems;
}

// what: the check, as its heading names it.
bool reportProblems(QTextStream& report, const QString& what, const QStringList& problems) {
    report << what << (problems.isEmpty() ? QStringLiteral("：正常") : QStringLiteral("：发现问题")) << '\n';
    for (const QString& problem : problems)
        report << QStringLiteral("  ") << problem << '\n';
    return problems.isEmpty();
}

// Blanks and invisible characters by their code, so the report shows them.
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

void reportList(QTextStream& report, const QString& title, const QStringList& lines) {
    report << title << '\n';
    for (const QString& line : lines)
        report << line << '\n';
}

void reportInitials(DrugConnection& connection, QTextStream& report) {
    DrugRows rows(connection, {KeyColumn, ChineseNameColumn, InitialsColumn});
    qint64 count = 0;
    QStringList mismatched;
    QStringList unreachable;
    qint64 foundByFindWindow = 0;
    while (rows.next()) {
        ++count;
        const QString key = rows.value(0).toText();
        const QString name = rows.value(1).toText();
        const Cell stored = rows.value(2);
        const QString expected = PinyinInitials(name);
        if (stored.isNull() || stored.toText() != expected) {
            mismatched.append(
                QStringLiteral("  %1\t%2\t存储：%3\t应为：%4")
                    .arg(key, name, stored.isNull() ? QStringLiteral("（空值）") : stored.toText(), expected));
        }
        const QStringList missing = charactersWithoutLetter(name);
        if (!missing.isEmpty()) {
            unreachable.append(QStringLiteral("  %1\t%2\t%3").arg(key, name, missing.join(u' ')));
            // The find window reads every character Unihan reads.
            const QString initials = pinyin::completeInitials(name);
            if (!initials.isEmpty() && FindText(initials).rank(name, QString()) != FindRank::None)
                ++foundByFindWindow;
        }
    }
    reportList(report, QStringLiteral("拼音与中文名不符的药品：%1").arg(mismatched.size()), mismatched);
    reportList(report, QStringLiteral("名称中有字符得不到字母的药品："), unreachable);
    // The counts come last, where a script finds them.
    report << QStringLiteral("药品数：%1").arg(count) << '\n';
    report << QStringLiteral("名称中有字符得不到字母的药品数：%1").arg(unreachable.size()) << '\n';
    report << QStringLiteral("其中查找药品窗口按完整首字母能找到的药品数：%1").arg(foundByFindWindow) << '\n';
}

} // namespace

bool checkDrugs(DrugConnection& connection, QTextStream& report) {
    const QStringList tableFaults = connection.drugTableFaults();
    // A server keeps its own pages: only its tables are the program's to check.
    const bool intact = connection.server()
                            ? reportProblems(report, QStringLiteral("服务器上的表"), tableFaults)
                            : reportProblems(report, QStringLiteral("完整性检查"),
                                             engineProblems(connection) + pageProblems(connection) + tableFaults);
    // The engine reads a quoted name that is no column as text: without every column the
    // drugs' listing would be nonsense.
    if (tableFaults.isEmpty())
        reportInitials(connection, report);
    return intact;
}
