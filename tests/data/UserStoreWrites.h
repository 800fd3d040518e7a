#pragma once

#include "data/UserStore.h"

// The drug and the note that user_store_child writes k-th under prefix, so that the test can
// tell a note stored whole from one cut short: names from several planes, and every seventh note
// long enough to need pages of its own.
inline DrugNames writtenDrug(const QString& prefix, int k) {
    return {QStringLiteral("药𠀀%1-%2").arg(prefix).arg(k), QStringLiteral("Drug 𝔸 %1-%2").arg(prefix).arg(k)};
}

inline QString writtenNote(const QString& prefix, int k) {
    return QStringLiteral("%1-%2 的笔记 \U000F0001。").arg(prefix).arg(k).repeated(k % 7 == 0 ? 400 : 1 + k % 5);
}
