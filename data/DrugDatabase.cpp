#include "data/DrugDatabase.h"

#include <QDir>

QStringList DrugColumns() {
    return {QStringLiteral("编号"), QStringLiteral("中文名"), QStringLiteral("英文名"), QStringLiteral("药物说明书"),
            QStringLiteral("拼音"), QStringLiteral("类别"),   QStringLiteral("规格"),   QStringLiteral("用量"),
            QStringLiteral("用法"), QStringLiteral("剂型")};
}

QString DrugConnectionString(const QString& programFolder) {
    return QStringLiteral("Provider=Microsoft.Jet.Oledb.4.0;Data Source=") + programFolder + QDir::separator() +
           DrugFileName + QStringLiteral(";Jet OleDb:DataBase Password=") + DrugPassword;
}

DrugConnection& TheDrugConnection() {
    static DrugConnection connection;
    return connection;
}

DrugRecordset& TheDrugRecordset() {
    static DrugRecordset recordset;
    return recordset;
}

void OpenDrugDatabase(const QString& programFolder) {
    TheDrugConnection().Open(DrugConnectionString(programFolder));
}
