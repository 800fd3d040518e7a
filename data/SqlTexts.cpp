#include "data/SqlTexts.h"

#include "data/DatabaseError.h"

QString keypadQuery(const QString& letters) {
    for (const QChar c : letters) {
        if (c < u'a' || c > u'z')
            throw DatabaseError(QStringLiteral("查找字母只能是 a 到 z"));
    }
    return QStringLiteral("SELECT * from 西药  where 拼音 like'%") + letters + QStringLiteral("%'");
}

QString keyQuery(qint64 key) {
    return QStringLiteral("select *from 西药 where 编号=") + QString::number(key);
}

QString likePattern(const QString& text) {
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'%', QStringLiteral("\\%"));
    escaped.replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}
