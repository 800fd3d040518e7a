#include "exchange/DrugCheck.h"

#include "data/DrugDatabase.h"
#include "data/Statement.h"
#include "pinyin/PinyinInitials.h"

#include <QTextStream>

namespace {

bool reportIntegrity(DrugConnection& connection, QTextStream& report) {
    QStringList problems;
    Statement integrity(connection.handle(), QStringLiteral("PRAGMA integrity_check"));
    while (integrity.step())
        problems.append(integrity.column(0).toText());
    const bool intact = problems == QStringList{QStringLiteral("ok")};
    report << (intact ? QStringLiteral("完整性检查：正常") : QStringLiteral("完整性检查：发现问题")) << '\n';
    if (!intact) {
        for (const QString& problem : std::as_const(problems))
            report << QStringLiteral("  ") << problem << '\n';
    }
    return intact;
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
    report << title.arg(lines.size()) << '\n';
    for (const QString& line : lines)
        report << line << '\n';
}

void reportInitials(DrugConnection& connection, QTextStream& report) {
    Statement select(connection.handle(), QStringLiteral("SELECT %1, %2, %3 FROM %4 ORDER BY %1")
                                              .arg(quotedIdentifier(KeyColumn), quotedIdentifier(ChineseNameColumn),
                                                   quotedIdentifier(InitialsColumn), quotedIdentifier(DrugTableName)));
    qint64 count = 0;
    QStringList mismatched;
    QStringList unreachable;
    while (select.step()) {
        ++count;
        const QString key = select.column(0).toText();
        const QString name = select.column(1).toText();
        const Cell stored = select.column(2);
        const QString expected = PinyinInitials(name);
        if (stored.isNull() || stored.toText() != expected) {
            mismatched.append(
                QStringLiteral("  %1\t%2\t存储：%3\t应为：%4")
                    .arg(key, name, stored.isNull() ? QStringLiteral("（空值）") : stored.toText(), expected));
        }
        const QStringList missing = charactersWithoutLetter(name);
        if (!missing.isEmpty())
            unreachable.append(QStringLiteral("  %1\t%2\t%3").arg(key, name, missing.join(u' ')));
    }
    report << QStringLiteral("药品数：%1").arg(count) << '\n';
    reportList(report, QStringLiteral("拼音与中文名不符的药品：%1"), mismatched);
    reportList(report, QStringLiteral("名称中有字符得不到字母的药品：%1"), unreachable);
}

} // namespace

bool checkDrugs(DrugConnection& connection, QTextStream& report) {
    const bool intact = reportIntegrity(connection, report);
    reportInitials(connection, report);
    return intact;
}
