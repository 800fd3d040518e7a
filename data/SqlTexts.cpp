#include "data/SqlTexts.h"

#include "data/DatabaseError.h"

#include <QRegularExpression>

QString keypadQuery(const QString& letters) {
    for (const QChar c : letters) {
        if (c < u'a' || c > u'z')
            throw DatabaseError(QStringLiteral("查找字母只能是 a 到 z"));
    }
    return QStringLiteral("SELECT * from 西药  where 拼音 like'%") + letters + QStringLiteral("%'");
}

QString keyQuery(const QString& key) {
    // Any 64-bit key the store can hold, written as plain decimal digits.
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,19}$"));
    bool inRange = false;
    if (decimal.match(key).hasMatch())
        key.toLongLong(&inRange);
    if (!inRange)
        throw DatabaseError(QStringLiteral("药品编号无效：“%1”").arg(key));
    return QStringLiteral("select *from 西药 where 编号=") + key;
}

QString likePattern(const QString& text) {
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'%', QStringLiteral("\\%"));
    escaped.replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}
