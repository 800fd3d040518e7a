#pragma once

#include "exchange/DrugImport.h"
#include "exchange/DrugPublish.h"

#include <QString>
#include <QStringList>

class QIODevice;
class QTextStream;

// The companion tool's commands. Each writes its results to out, its messages to err, and
// returns the process's exit status: 0 on success.
struct ToolStreams {
    QIODevice& in;
    QIODevice& out;
    QTextStream& err;
};

int runTool(const QStringList& arguments, ToolStreams& streams);

int createCommand(const QString& file, ToolStreams& streams);
// drugList: a drug file, or a PostgreSQL server's URL (postgresql://… or postgres://…), whose drugs the
// command then works on; so also for pdfCommand.
int importCommand(const QString& drugList, const QString& csv, ImportMode mode, CsvEncoding encoding,
                  ToolStreams& streams);
int exportCommand(const QString& drugList, CsvEncoding encoding, bool withBom, ToolStreams& streams);
int checkCommand(const QString& drugList, ToolStreams& streams);
int infoCommand(const QString& drugList, ToolStreams& streams);
// settings: "项目=内容" each; resetChanges sets the count of local changes back to 0.
int setInfoCommand(const QString& drugList, const QStringList& settings, bool resetChanges, ToolStreams& streams);
// url: a PostgreSQL server, as libpq reads it (a password from the URL, ~/.pgpass or a service file).
int publishCommand(const QString& file, const QString& url, PublishMode mode, ToolStreams& streams);
int pinyinCommand(ToolStreams& streams);
// store: the user's favourites and notes (UserStore); csv: the file written or read.
int notesExportCommand(const QString& store, const QString& csv, bool withBom, ToolStreams& streams);
int notesImportCommand(const QString& store, const QString& csv, ToolStreams& streams);
// keys: the drugs in the order given; none for every drug in the order of its key. Needs a
// QGuiApplication (the fonts), on no display.
int pdfCommand(const QString& drugList, const QString& pdf, const QList<qint64>& keys, ToolStreams& streams);
