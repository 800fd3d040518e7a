#pragma once

#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"

#include <QString>
#include <QStringList>

// The drug file, its table and the program's own connection to it.

inline const QString DrugFileName = QStringLiteral("qintabo.m");
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

// Every column of the drug table, in the order in which the companion tool exchanges them.
QStringList drugColumns();

// The connection string of the drug file in programFolder; the folder is used exactly as
// given, and the separator before the file name is the platform's.
QString drugConnectionString(const QString& programFolder);

// The one connection and the one recordset of the program, alive for the whole run.
DrugConnection& theDrugConnection();
DrugRecordset& theDrugRecordset();

// Opens the drug file in programFolder on theDrugConnection(); throws DatabaseError.
void OpenDrugDatabase(const QString& programFolder);
// Starts opening the drug file in programFolder on a worker thread (unless that is under way
// already): deriving the file's key takes a while, and can overlap with building the window.
// Nothing may use theDrugConnection() until OpenDrugDatabase() with the same folder has waited
// for the open and thrown its error.
void beginOpeningDrugDatabase(const QString& programFolder);
