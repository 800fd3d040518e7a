#pragma once

#include "pinyin/PinyinInitials.h"

#include <QString>
#include <QtGlobal>

// A drug of the crash rounds. Every field is made from its tag, so a row read back shows by
// itself whether it was written whole: the English name names the tag, the others must follow.
struct TaggedDrug {
    QString chineseName;
    QString englishName;
    QString leaflet;
    QString initials;

    bool operator==(const TaggedDrug&) const = default;
};

inline TaggedDrug taggedDrug(qint64 tag) {
    TaggedDrug drug;
    drug.chineseName = QStringLiteral("试验药%1号").arg(tag);
    drug.englishName = QStringLiteral("tag %1").arg(tag);
    // From nothing to a dozen pages, so that many changes span several pages of the file.
    const qsizetype length = (tag * 7919) % 16000;
    drug.leaflet = QStringLiteral("第%1种药的说明书。\r\n").arg(tag).repeated(length / 10 + 1).left(length);
    drug.initials = PinyinInitials(drug.chineseName);
    return drug;
}

// The tag named by an English name written by taggedDrug(), or -1.
inline qint64 tagOf(const QString& englishName) {
    bool ok = false;
    const qint64 tag = englishName.startsWith(QStringLiteral("tag ")) ? englishName.mid(4).toLongLong(&ok) : -1;
    return ok ? tag : -1;
}
