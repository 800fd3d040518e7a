#pragma once

#include <QString>

#include <atomic>

class ServerConnection;

// A seat's copy of its server's drug list, read when the server cannot be reached. It is a drug file
// like any other (DrugSchema.h): the drug table and, when the server has one, the information
// table, every drug under the server's 编号, so that the copy and the server name a drug alike. The
// revisions stay on the server.

// The user's own: xiyao/server-copy/qintabo.m in the user's data folder (~/.local/share).
QString offlineCopyPath();

enum class CopyRefresh { Written, Unchanged };

// Makes the copy at path hold what the server holds now, read in one snapshot, unless it does
// already: the server's fingerprint of its tables, kept beside the copy, then still matches and the
// copy opens, and nothing is written (Unchanged). Otherwise a new copy is written beside path and put
// in its place in one rename, so that a failure or a kill at any moment leaves the previous copy
// whole; only then is the fingerprint kept. Made folders are the owner's alone, as is the copy. Runs
// on any thread, with a connection of its own that is in no transaction; two refreshes of one copy
// (threads or programs) take turns. Throws DatabaseError (a ServerError for the server's failures,
// whose connectionLost() tells that the server is out of reach), in Chinese, naming the copy; the
// previous copy is then left as it was and nothing new remains beside it.
// A stop set while the drugs are copied (the program ends) ends the refresh the same way, at the next
// drug.
CopyRefresh refreshOfflineCopy(ServerConnection& server, const QString& path, const std::atomic<bool>* stop = nullptr);
