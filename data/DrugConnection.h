#pragma once

#include <QString>
#include <QStringList>

#include <QByteArrayView>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <span>

struct sqlite3;
class ServerConnection;

// The program's one connection to its drug list: its encrypted drug file or, for a seat of a
// shared list, a PostgreSQL server. It never creates a file in place of a missing one; only
// create() and createFile() make a new file.
class DrugConnection {
public:
    DrugConnection();
    ~DrugConnection();
    DrugConnection(const DrugConnection&) = delete;
    DrugConnection& operator=(const DrugConnection&) = delete;

    enum class Access { ReadWrite, ReadOnly };

    // Opens an existing drug file. Throws DatabaseError, the reason in Chinese and the engine's
    // own words after it, when the file is missing, a folder or unreadable, the password or the
    // encryption differ, the file is damaged or its length does not fit its pages, or its drug
    // table lacks what the program needs (drugTableFaults()).
    void openFile(const QString& path, const QString& password, Access access = Access::ReadWrite);
    // Opens the drug list on a PostgreSQL server (a libpq URL or connection string). Throws
    // ServerError in Chinese: the server cannot be reached, refuses the login, or its tables are
    // not the program's (requireUsableServerTables()). A connection lost later is opened again
    // at the next transaction or query, so the URL is kept in memory (never written anywhere).
    void openServer(const QString& url);
    // The server of a seat, or null for a drug file.
    ServerConnection* server() const;
    // The server, opened again when its connection was lost. Throws ServerError.
    ServerConnection& reachServer();
    // Makes a new, empty drug file; refuses an existing file and a missing folder.
    static void create(const QString& path, const QString& password);
    // The same, kept open: the key is derived once rather than again by openFile().
    void createFile(const QString& path, const QString& password);
    // Opens a file of the user's own (not a drug file: no key, no drug table), making it when
    // missing. Each change is on the disk when its statement returns, and another program may
    // use the file at the same time. Throws DatabaseError in the engine's words, which
    // fileFailureMessage(…, FileKind::User) says in Chinese, or in Chinese for a folder or
    // another file that is not a regular file.
    void openUserFile(const QString& path);

    bool isOpen() const { return m_db != nullptr || m_server != nullptr; }
    void close();
    const QString& path() const { return m_path; }
    // How long a statement waits for another program's lock before it fails with "database is
    // locked"; kept for later opens.
    void setBusyTimeout(std::chrono::milliseconds timeout);

    void execute(const QString& sql);
    void beginTransaction();
    void commit();
    void rollback() noexcept;

    // The key the engine gave the last row this connection inserted.
    qint64 lastInsertedKey() const;
    // Rows that the last INSERT, UPDATE or DELETE of this connection changed.
    qint64 changedRows() const;
    // The value of a PRAGMA that reads one number (page_size, cache_size …).
    qint64 pragmaNumber(const QString& name) const;
    // Whether column is the engine's own row key of table: its one INTEGER PRIMARY KEY in a table
    // with row keys, written without DESC. Only such a key is given to a new row by the engine and
    // is what lastInsertedKey() reports; any other key column stays Null on an insert.
    bool isRowKeyColumn(const QString& table, const QString& column) const;

    // A function of the open connection's SQL, called row by row inside a query: its arguments
    // come as the engine's UTF-8 text (NULL as empty), its result is an integer. Values still
    // reach it only as bound parameters or columns. It lasts until the connection closes.
    using TextFunction = std::function<qint64(std::span<const QByteArrayView> arguments)>;
    static constexpr int MaxFunctionArguments = 8;
    void defineFunction(const QString& name, int argumentCount, TextFunction function);
    bool hasFunction(const QString& name) const { return m_functions.contains(name); }
    // A function defined on a server's connection, which the program calls itself (the server
    // knows nothing of it); null when none of that name was defined.
    const TextFunction* programFunction(const QString& name) const;

    // What the drug table lacks for the program, each in Chinese: the table itself, columns of
    // drugColumns(), or 编号 as its INTEGER PRIMARY KEY. Empty for a table the program can use.
    // Reads the schema only.
    QStringList drugTableFaults() const;
    // In Chinese, how the file's length misses its pages; empty when it fits them.
    QString lengthFault() const;

private:
    friend sqlite3* engineHandle(const DrugConnection& connection);
    void requireOpen() const;

    sqlite3* m_db = nullptr;
    QString m_path;
    std::unique_ptr<ServerConnection> m_server;
    QString m_serverUrl;
    bool m_serverTransaction = false; // begun here and not ended: a lost connection is not replaced
    std::map<QString, TextFunction> m_programFunctions;
    QStringList m_functions;
    std::chrono::milliseconds m_busyTimeout{1000};
};

// What a file is to the program, for the words of its failures.
enum class FileKind { Drugs, User };
// A failure of the engine on the file at path, said in Chinese first, the engine's own words
// after it. A message already in Chinese is returned as it is.
QString fileFailureMessage(const QString& path, const QString& message, FileKind kind = FileKind::Drugs);
