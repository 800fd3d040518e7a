#include "data/ServerConnection.h"

#include "data/Statement.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cmath>
#include <dlfcn.h>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// libpq, loaded at the first connection: a program on its drug file never maps it, nor the TLS,
// Kerberos, LDAP and SASL libraries that come with it.
struct LibPq {
    decltype(&::PQclear) PQclear = nullptr;
    decltype(&::PQclientEncoding) PQclientEncoding = nullptr;
    decltype(&::PQcmdStatus) PQcmdStatus = nullptr;
    decltype(&::PQcmdTuples) PQcmdTuples = nullptr;
    decltype(&::PQconnectdbParams) PQconnectdbParams = nullptr;
    decltype(&::PQdb) PQdb = nullptr;
    decltype(&::PQerrorMessage) PQerrorMessage = nullptr;
    decltype(&::PQexec) PQexec = nullptr;
    decltype(&::PQexecParams) PQexecParams = nullptr;
    decltype(&::PQfinish) PQfinish = nullptr;
    decltype(&::PQfname) PQfname = nullptr;
    decltype(&::PQftype) PQftype = nullptr;
    decltype(&::PQgetisnull) PQgetisnull = nullptr;
    decltype(&::PQgetlength) PQgetlength = nullptr;
    decltype(&::PQgetvalue) PQgetvalue = nullptr;
    decltype(&::PQhost) PQhost = nullptr;
    decltype(&::PQnfields) PQnfields = nullptr;
    decltype(&::PQntuples) PQntuples = nullptr;
    decltype(&::PQport) PQport = nullptr;
    decltype(&::PQresultErrorField) PQresultErrorField = nullptr;
    decltype(&::PQresultErrorMessage) PQresultErrorMessage = nullptr;
    decltype(&::PQresultStatus) PQresultStatus = nullptr;
    decltype(&::PQsetNoticeReceiver) PQsetNoticeReceiver = nullptr;
    decltype(&::PQstatus) PQstatus = nullptr;
    decltype(&::PQtransactionStatus) PQtransactionStatus = nullptr;
    decltype(&::pg_char_to_encoding) pg_char_to_encoding = nullptr;
};

const LibPq& libpq() {
    static const std::pair<const LibPq*, QString> loaded = []() -> std::pair<const LibPq*, QString> {
        void* handle = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return {nullptr, QString::fromLocal8Bit(::dlerror())};
        static LibPq lib;
        QStringList missing;
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
            if (!function)
                missing.append(QString::fromLatin1(name));
        };
        resolve(lib.PQclear, "PQclear");
        resolve(lib.PQclientEncoding, "PQclientEncoding");
        resolve(lib.PQcmdStatus, "PQcmdStatus");
        resolve(lib.PQcmdTuples, "PQcmdTuples");
        resolve(lib.PQconnectdbParams, "PQconnectdbParams");
        resolve(lib.PQdb, "PQdb");
        resolve(lib.PQerrorMessage, "PQerrorMessage");
        resolve(lib.PQexec, "PQexec");
        resolve(lib.PQexecParams, "PQexecParams");
        resolve(lib.PQfinish, "PQfinish");
        resolve(lib.PQfname, "PQfname");
        resolve(lib.PQftype, "PQftype");
        resolve(lib.PQgetisnull, "PQgetisnull");
        resolve(lib.PQgetlength, "PQgetlength");
        resolve(lib.PQgetvalue, "PQgetvalue");
        resolve(lib.PQhost, "PQhost");
        resolve(lib.PQnfields, "PQnfields");
        resolve(lib.PQntuples, "PQntuples");
        resolve(lib.PQport, "PQport");
        resolve(lib.PQresultErrorField, "PQresultErrorField");
        resolve(lib.PQresultErrorMessage, "PQresultErrorMessage");
        resolve(lib.PQresultStatus, "PQresultStatus");
        resolve(lib.PQsetNoticeReceiver, "PQsetNoticeReceiver");
        resolve(lib.PQstatus, "PQstatus");
        resolve(lib.PQtransactionStatus, "PQtransactionStatus");
        resolve(lib.pg_char_to_encoding, "pg_char_to_encoding");
        if (!missing.isEmpty())
            return {nullptr, QStringLiteral("缺少函数 ") + missing.join(QStringLiteral("、"))};
        return {&lib, QString()};
    }();
    if (!loaded.first)
        throw ServerError(
            QStringLiteral("无法载入 PostgreSQL 的客户端库 libpq.so.5（Debian 的 libpq5 软件包；scripts/deps "
                           "会安装它）：%1")
                .arg(loaded.second),
            {}, false);
    return *loaded.first;
}

// The server's type numbers (pg_type.oid) of the values read and sent as numbers.
constexpr Oid BoolType = 16;
constexpr Oid BigintType = 20;
constexpr Oid SmallintType = 21;
constexpr Oid IntegerType = 23;
constexpr Oid OidType = 26;
constexpr Oid RealType = 700;
constexpr Oid DoubleType = 701;
constexpr Oid NumericType = 1700;
constexpr Oid UnknownType = 0; // the server infers it from where the parameter stands

// The protocol counts a statement's parameters in 16 bits.
constexpr qsizetype MaxParameters = 65535;

// libpq's words on one line: its messages end in a line break and indent their second lines.
QString ownWords(const char* message) {
    return QString::fromUtf8(message).simplified();
}

QString withWords(const QString& reason, const QString& words) {
    return words.isEmpty() ? reason : QStringLiteral("%1（%2）").arg(reason, words);
}

// Why a connection could not be made, from libpq's message: a failed connection carries no
// SQLSTATE. libpq's and the server's words come in English, or in Chinese where their
// translations are installed and chosen, so both are looked for.
QString connectionReason(const QString& words) {
    struct Reason {
        const char* reason;
        const char* says[8]; // the words that show it, in either language
    };
    static const Reason reasons[] = {
        {"用户名或密码不对，服务器拒绝登录", {"password authentication failed", "Password 认证失败"}},
        {"服务器要求密码，但地址、~/.pgpass 和服务文件中都没有给出", {"no password supplied"}},
        {"找不到服务器：主机名无法解析", {"could not translate host name", "无法解释主机名"}},
        {"服务器拒绝连接：那里没有运行数据库服务器，或端口不对", {"Connection refused", "拒绝连接"}},
        {"本机的数据库服务器没有运行（找不到它的套接字）", {"No such file or directory", "没有那个文件或目录"}},
        {"连接服务器超时", {"timeout expired", "超时满"}},
        {"网络不通，连不上服务器", {"Network is unreachable", "No route to host"}},
        {"数据库服务器正在启动或关闭，请稍后再试",
         {"the database system is starting up", "the database system is shutting down",
          "the database system is in recovery mode", "数据库系统启动中", "数据库系统停止中", "数据库系统在恢复模式中"}},
        {"服务器的连接数已满，请稍后再试", {"too many clients", "remaining connection slots", "太多的客户"}},
        {"服务器不允许以这个用户从本机连接（pg_hba.conf）", {"pg_hba.conf"}},
        {"服务器上没有这个数据库", {"database \"", "数据库 \""}},
        {"服务器上没有这个用户", {"role \"", "角色 \""}},
        {"加密连接（SSL）失败", {"SSL"}},
        {"服务器地址的写法不对",
         {"invalid URI", "invalid connection option", "missing \"=\"", "invalid integer value",
          "unterminated quoted string", "invalid percent-encoded", "invalid sslmode value", "invalid port number"}},
    };
    for (const Reason& reason : reasons) {
        for (const char* says : reason.says) {
            if (says && words.contains(QString::fromUtf8(says)))
                return QString::fromUtf8(reason.reason);
        }
    }
    return QStringLiteral("无法连接数据库服务器");
}

// Why a statement failed, by its SQLSTATE: the five characters mean the same in every language.
QString statementReason(const QString& state) {
    struct Reason {
        const char* state; // a whole SQLSTATE, or its class of two characters
        const char* reason;
    };
    static const Reason reasons[] = {
        {"40001", "另一处同时修改了同样的数据，这次的修改没有保存，请重试"},
        {"40P01", "与另一处的修改互相等待（死锁），这次的修改没有保存，请重试"},
        {"23505", "与已有的数据重复"},
        {"23502", "必填的值是空的"},
        {"23", "数据不符合服务器上的约束"},
        {"42P01", "服务器上没有这个表"},
        {"42703", "表中没有这一列"},
        {"42883", "服务器上没有这个函数或运算符"},
        {"42601", "SQL 语句有语法错误"},
        {"42501", "没有在服务器上做这件事的权限"},
        {"25P02", "事务中前面的语句已经失败，事务中的修改都不会保存"},
        {"25006", "这是只读的连接，不能修改数据"},
        {"57014", "语句被取消了（超时或被中止）"},
        {"57P01", "数据库服务器正在关闭"},
        {"53100", "服务器的磁盘已满"},
        {"53", "服务器的资源不够（磁盘、内存或连接数）"},
        {"22", "数据的值不合要求"},
        {"08", "与数据库服务器的连接出错"},
    };
    for (const Reason& reason : reasons) {
        if (state.startsWith(QLatin1String(reason.state)))
            return QString::fromUtf8(reason.reason);
    }
    return QStringLiteral("数据库服务器执行语句时出错");
}

// A number sent as text, as the server writes it (NaN, Infinity, -Infinity included).
double serverDouble(QByteArrayView text) {
    if (text == "NaN")
        return std::numeric_limits<double>::quiet_NaN();
    if (text == "Infinity")
        return std::numeric_limits<double>::infinity();
    if (text == "-Infinity")
        return -std::numeric_limits<double>::infinity();
    return text.toDouble();
}

} // namespace

bool ServerError::isConflict() const noexcept {
    return m_sqlState == QLatin1String("40001") || m_sqlState == QLatin1String("40P01");
}

void ServerResult::Clear::operator()(pg_result* result) const {
    libpq().PQclear(result);
}

int ServerResult::rowCount() const {
    return libpq().PQntuples(m_result.get());
}

int ServerResult::columnCount() const {
    return libpq().PQnfields(m_result.get());
}

QString ServerResult::columnName(int column) const {
    const char* name = libpq().PQfname(m_result.get(), column);
    return name ? QString::fromUtf8(name) : QString();
}

bool ServerResult::isNull(int row, int column) const {
    return libpq().PQgetisnull(m_result.get(), row, column) != 0;
}

QByteArrayView ServerResult::utf8(int row, int column) const {
    return QByteArrayView(libpq().PQgetvalue(m_result.get(), row, column),
                          libpq().PQgetlength(m_result.get(), row, column));
}

bool ServerResult::isTextColumn(int column) const {
    switch (libpq().PQftype(m_result.get(), column)) {
    case BoolType:
    case BigintType:
    case IntegerType:
    case SmallintType:
    case OidType:
    case NumericType:
    case RealType:
    case DoubleType:
        return false;
    default:
        return true;
    }
}

Cell ServerResult::value(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount() || isNull(row, column))
        return Cell::null();
    const QByteArrayView text = utf8(row, column);
    bool whole = false;
    switch (libpq().PQftype(m_result.get(), column)) {
    case BoolType:
        return Cell(text == "t" ? 1 : 0);
    case BigintType:
    case IntegerType:
    case SmallintType:
    case OidType:
        return Cell(text.toLongLong());
    case NumericType:
        // SUM over bigint is a numeric: a whole one stays an integer, as the file's engine gives it.
        if (const qint64 integer = text.toLongLong(&whole); whole)
            return Cell(integer);
        [[fallthrough]];
    case RealType:
    case DoubleType:
        return Cell(serverDouble(text));
    default:
        return Cell(storedText(text));
    }
}

qint64 ServerResult::changedRows() const {
    return QByteArrayView(libpq().PQcmdTuples(m_result.get())).toLongLong();
}

ServerConnection::~ServerConnection() {
    close();
}

void ServerConnection::close() {
    if (m_conn) {
        libpq().PQfinish(m_conn);
        m_conn = nullptr;
    }
}

QString ServerConnection::target() const {
    const QString host = m_conn ? QString::fromUtf8(libpq().PQhost(m_conn)) : QString();
    if (host.isEmpty())
        return {};
    return QStringLiteral("%1:%2/%3")
        .arg(host, QString::fromUtf8(libpq().PQport(m_conn)), QString::fromUtf8(libpq().PQdb(m_conn)));
}

void ServerConnection::open(const QString& url) {
    close();
    if (url.trimmed().isEmpty())
        throw ServerError(QStringLiteral("没有给出数据库服务器的地址"), {}, false);
    QByteArray address = url.toUtf8();
    // libpq knows a URL only by a lower-case scheme, and would take "POSTGRESQL://user:password@…"
    // for the name of a database, which its messages and target() repeat.
    for (const QByteArrayView scheme : {QByteArrayView("postgresql://"), QByteArrayView("postgres://")}) {
        if (address.left(scheme.size()).toLower() == scheme)
            address.replace(0, scheme.size(), scheme);
    }
    // Later keywords win over what the URL says: it may set its own time-out, never another
    // encoding. A host that never answers fails after the time-out rather than hanging the seat.
    const char* const keywords[] = {"connect_timeout", "fallback_application_name", "dbname", "client_encoding",
                                    nullptr};
    const char* const values[] = {"10", "xiyao", address.constData(), "UTF8", nullptr};
    m_conn = libpq().PQconnectdbParams(keywords, values, 1);
    if (!m_conn)
        throw ServerError(QStringLiteral("内存不足，无法连接数据库服务器"), {}, false);
    if (libpq().PQstatus(m_conn) != CONNECTION_OK) {
        const QString words = ownWords(libpq().PQerrorMessage(m_conn));
        const QString where = target();
        close();
        const QString failed = where.isEmpty() ? QStringLiteral("连接数据库服务器失败：")
                                               : QStringLiteral("连接数据库服务器 %1 失败：").arg(where);
        throw ServerError(withWords(failed + connectionReason(words), words), {}, false);
    }
    // The server's notices (a COMMIT outside a transaction …) are not the user's to read on stderr.
    libpq().PQsetNoticeReceiver(
        m_conn, [](void*, const PGresult*) {}, nullptr);
    if (libpq().PQclientEncoding(m_conn) != libpq().pg_char_to_encoding("UTF8")) {
        close();
        throw ServerError(QStringLiteral("数据库服务器不接受 UTF-8 编码的文字"), {}, false);
    }
}

void ServerConnection::requireOpen() const {
    if (!m_conn)
        throw ServerError(QStringLiteral("没有连接到数据库服务器"), {}, true);
}

void ServerConnection::fail(const pg_result* result) {
    const char* message = result ? libpq().PQresultErrorMessage(result) : "";
    const QString words = ownWords(*message ? message : libpq().PQerrorMessage(m_conn));
    const QString state =
        result ? QString::fromLatin1(libpq().PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
    const bool lost = libpq().PQstatus(m_conn) == CONNECTION_BAD;
    if (lost)
        close();
    const QString reason =
        lost ? QStringLiteral("与数据库服务器的连接断开了：服务器已停止，或网络中断") : statementReason(state);
    throw ServerError(withWords(reason, words), state, lost);
}

ServerResult ServerConnection::execute(const QString& sql, std::initializer_list<Cell> parameters) {
    return execute(sql, std::span<const Cell>(parameters.begin(), parameters.size()));
}

ServerResult ServerConnection::execute(const QString& sql, std::span<const Cell> parameters) {
    requireOpen();
    if (qsizetype(parameters.size()) > MaxParameters)
        throw ServerError(QStringLiteral("一条语句的参数太多（最多 %1 个）").arg(MaxParameters), {}, false);
    const QByteArray statement = sql.toUtf8();
    if (statement.contains('\0'))
        throw ServerError(ServerNulTextMessage, {}, false);

    // The server takes each value as a text that ends at its first zero byte.
    std::vector<QByteArray> texts(parameters.size());
    std::vector<const char*> values(parameters.size(), nullptr);
    std::vector<Oid> types(parameters.size(), UnknownType);
    for (size_t i = 0; i < parameters.size(); ++i) {
        const Cell& value = parameters[i];
        switch (value.kind()) {
        case Cell::Kind::Empty:
        case Cell::Kind::Null:
            continue;
        case Cell::Kind::Text: {
            const QString text = value.toText();
            if (!QStringView(text).isValidUtf16())
                throw ServerError(UnstorableTextMessage, {}, false);
            texts[i] = text.toUtf8();
            if (texts[i].contains('\0'))
                throw ServerError(ServerNulTextMessage, {}, false);
            break;
        }
        case Cell::Kind::Number:
            // Whole numbers as 64-bit integers, never through a double.
            if (const std::optional<qint64> integer = value.integer()) {
                texts[i] = QByteArray::number(*integer);
                types[i] = BigintType;
            } else {
                texts[i] = QByteArray::number(value.toNumber(), 'g', std::numeric_limits<double>::max_digits10);
                types[i] = DoubleType;
            }
            break;
        }
        values[i] = texts[i].constData();
    }

    ServerResult result(libpq().PQexecParams(m_conn, statement.constData(), int(parameters.size()), types.data(),
                                             values.data(), nullptr, nullptr, 0));
    switch (libpq().PQresultStatus(result.m_result.get())) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
        return result;
    case PGRES_EMPTY_QUERY:
        throw ServerError(QStringLiteral("SQL 语句为空"), {}, false);
    default:
        fail(result.m_result.get());
    }
}

bool ServerConnection::inTransaction() const {
    return m_conn && libpq().PQtransactionStatus(m_conn) != PQTRANS_IDLE &&
           libpq().PQtransactionStatus(m_conn) != PQTRANS_UNKNOWN;
}

void ServerConnection::beginTransaction() {
    requireOpen();
    if (inTransaction())
        throw ServerError(QStringLiteral("事务已经开始，不能在其中再开始一个"), {}, false);
    execute(QStringLiteral("BEGIN"));
}

void ServerConnection::commit() {
    requireOpen();
    if (!inTransaction())
        throw ServerError(QStringLiteral("没有进行中的事务，无从提交"), {}, false);
    // The server answers the COMMIT of a failed transaction with a rollback, not with an error.
    const bool failed = libpq().PQtransactionStatus(m_conn) == PQTRANS_INERROR;
    const ServerResult result = execute(QStringLiteral("COMMIT"));
    if (failed || QByteArrayView(libpq().PQcmdStatus(result.m_result.get())) == "ROLLBACK")
        throw ServerError(QStringLiteral("事务中有语句失败，事务中的修改都已撤销，没有保存"), QStringLiteral("25P02"),
                          false);
}

void ServerConnection::rollback() noexcept {
    if (!inTransaction())
        return;
    libpq().PQclear(libpq().PQexec(m_conn, "ROLLBACK"));
    if (libpq().PQstatus(m_conn) == CONNECTION_BAD)
        close();
}
