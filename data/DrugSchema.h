#pragma once

#include <QString>
#include <QStringList>

// The drug file: its name, its password and its one table.

inline const QString DrugFileName = QStringLiteral("qintabo.m");
// The file is encrypted to keep its drugs from being changed by hand or passed on as a plain
// database, not to keep them secret from whoever runs the program: the program must open it
// without asking anyone, so the password is the program's own, and every copy of the program
// and of xiyao-db opens every drug file.
inline const QString DrugPassword = QStringLiteral("rlomvexd316k2p");
inline const QString DrugTableName = QStringLiteral("西药");
// The drug table's columns; a misspelt name then fails to compile instead of failing at run time.
inline const QString KeyColumn = QStringLiteral("编号");
inline const QString ChineseNameColumn = QStringLiteral("中文名");
inline const QString EnglishNameColumn = QStringLiteral("英文名");
inline const QString InitialsColumn = QStringLiteral("拼音");
inline const QString CategoryColumn = QStringLiteral("类别");
inline const QString StrengthColumn = QStringLiteral("规格");
inline const QString DoseColumn = QStringLiteral("用量");
inline const QString UsageColumn = QStringLiteral("用法");
inline const QString DosageFormColumn = QStringLiteral("剂型");
inline const QString LeafletColumn = QStringLiteral("药物说明书");

// The leaflet is the last column: a search by initials then never reads a leaflet's
// overflow pages. A deleted drug's key is never given to a new one.
inline const QString DrugTableSchema =
    QStringLiteral("CREATE TABLE 西药 (编号 INTEGER PRIMARY KEY AUTOINCREMENT, 中文名 TEXT, 英文名 TEXT, 拼音 TEXT, "
                   "类别 TEXT, 规格 TEXT, 用量 TEXT, 用法 TEXT, 剂型 TEXT, 药物说明书 TEXT)");

// The file's own information beside the drug table: which edition of the data it holds. A file
// without the table is valid; the table is made when something is first written to it.
inline const QString DataInfoTableName = QStringLiteral("数据信息");
inline const QString DataInfoItemColumn = QStringLiteral("项目");
inline const QString DataInfoValueColumn = QStringLiteral("内容");
inline const QString DataInfoTableSchema =
    QStringLiteral("CREATE TABLE IF NOT EXISTS 数据信息 (项目 TEXT PRIMARY KEY, 内容 TEXT)");
// Its items. The maintainer sets the first three; the import and the program keep the others.
inline const QString DataVersionItem = QStringLiteral("数据版本");
inline const QString RevisionDateItem = QStringLiteral("修订日期");
inline const QString SourceItem = QStringLiteral("来源");
inline const QString ImportDateItem = QStringLiteral("导入日期");
inline const QString LocalChangesItem = QStringLiteral("本地修改次数");

// Every column of the drug table, in the order in which the companion tool exchanges them.
QStringList drugColumns();

// The drug file in programFolder: the folder exactly as given (odd characters and a trailing
// separator included), the platform's separator, the file's name.
QString drugFilePath(const QString& programFolder);
