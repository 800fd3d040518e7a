#include "data/SqlTexts.h"

#include "data/DatabaseError.h"

#include <QRegularExpression>

QString KeypadQuery(const QString& letters) {
    for (const QChar c : letters) {
        if (c < u'a' || c > u'z')
            throw DatabaseError(QStringLiteral("查找字母只能是 a 到 z"));
    }
    return QStringLiteral("SELECT * from 西药  where 拼音 like'%") + letters + QStringLiteral("%'");
}

QString KeyQuery(const QString& key) {
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!decimal.match(key).hasMatch())
        throw DatabaseError(QStringLiteral("药品编号无效：“%1”").arg(key));
    return QStringLiteral("select *from 西药 where 编号=") + key;
}
