#pragma once

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

int RunTool(const QStringList& arguments, ToolStreams& streams);

int CreateCommand(const QString& file, ToolStreams& streams);
int ImportCommand(const QString& file, const QString& csv, ToolStreams& streams);
int ExportCommand(const QString& file, ToolStreams& streams);
int CheckCommand(const QString& file, ToolStreams& streams);
int PinyinCommand(ToolStreams& streams);
