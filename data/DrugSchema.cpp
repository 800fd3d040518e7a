#include "data/DrugSchema.h"

#include <QDir>

QStringList drugColumns() {
    return {KeyColumn,      ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn,
            CategoryColumn, StrengthColumn,    DoseColumn,        UsageColumn,   DosageFormColumn};
}

QString drugFilePath(const QString& programFolder) {
    return programFolder + QDir::separator() + DrugFileName;
}
