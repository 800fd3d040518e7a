#include "data/DrugDatabase.h"

#include <QDir>

QStringList drugColumns() {
    return {KeyColumn,      ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn,
            CategoryColumn, StrengthColumn,    DoseColumn,        UsageColumn,   DosageFormColumn};
}

QString drugConnectionString(const QString& programFolder) {
    return QStringLiteral("Provider=Microsoft.Jet.Oledb.4.0;Data Source=") + programFolder + QDir::separator() +
           DrugFileName + QStringLiteral(";Jet OleDb:DataBase Password=") + DrugPassword;
}

DrugConnection& theDrugConnection() {
    static DrugConnection connection;
    return connection;
}

DrugRecordset& theDrugRecordset() {
    static DrugRecordset recordset;
    return recordset;
}

void OpenDrugDatabase(const QString& programFolder) {
    theDrugConnection().Open(drugConnectionString(programFolder));
}
