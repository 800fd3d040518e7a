#include "tools/Commands.h"

#include "data/DataInfo.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugRows.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/UserStore.h"
#include "exchange/Csv.h"
#include "exchange/DrugCheck.h"
#include "exchange/DrugExport.h"
#include "exchange/DrugImport.h"
#include "exchange/DrugPublish.h"
#include "exchange/UserDataExchange.h"
#include "pinyin/Cp936.h"
#include "pinyin/PinyinInitials.h"
#include "platform/LeafletPages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <optional>

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

int fail(ToolStreams& streams, const QString& message) {
    streams.err << QStringLiteral("xiyao-db：错误：") << message << Qt::endl;
    return 1;
}

// The engine's failure on the drug file, its reason in Chinese.
QString fileFailure(const QString& file, const DatabaseError& error) {
    return QStringLiteral("%1：%2").arg(native(file), fileFailureMessage(file, error.message()));
}

int failOnFile(ToolStreams& streams, const QString& file, const DatabaseError& error, const QString& after = {}) {
    return fail(streams, fileFailure(file, error) + after);
}

// Commands that compute initials refuse to run rather than give wrong ones.
bool initialsAvailable(ToolStreams& streams) {
    if (pinyin::cp936Available())
        return true;
    fail(streams, pinyin::ConverterMissingMessage);
    return false;
}

// GB18030 comes from Qt's ICU; a Qt without it cannot read or write it.
bool converterAvailable(CsvEncoding encoding, ToolStreams& streams) {
    if (encodingAvailable(encoding))
        return true;
    fail(streams, QStringLiteral("本机的 Qt 不能转换 %1 编码（Qt 构建时没有 ICU）").arg(encodingName(encoding)));
    return false;
}

// A few of the names, enough to recognise the list by.
QString someNames(const QStringList& names) {
    constexpr qsizetype Shown = 5;
    const QString shown = names.first(qMin(Shown, names.size())).join(QStringLiteral("、"));
    return names.size() > Shown ? shown + QStringLiteral(" 等") : shown;
}

void reportImport(const ImportResult& result, ImportMode mode, ToolStreams& streams) {
    if (mode == ImportMode::Replace)
        streams.err << QStringLiteral("已删除原有的 %1 种药品").arg(result.deleted) << Qt::endl;
    if (result.existingRows > 0 && mode == ImportMode::SkipExisting) {
        streams.err << QStringLiteral("已跳过 %1 行：中文名在数据库中已存在（%2）")
                           .arg(result.existingRows)
                           .arg(someNames(result.existingNames))
                    << Qt::endl;
    } else if (result.existingRows > 0) {
        streams.err << QStringLiteral("xiyao-db：警告：有 %1 行的中文名在数据库中已存在（%2）；"
                                      "这些行也已导入，加 --skip-existing 可不导入它们")
                           .arg(result.existingRows)
                           .arg(someNames(result.existingNames))
                    << Qt::endl;
    }
    if (result.emptyRows > 0)
        streams.err << QStringLiteral("跳过了 %1 个空行").arg(result.emptyRows) << Qt::endl;
    streams.err << QStringLiteral("已导入 %1 种药品").arg(result.imported) << Qt::endl;
}

const QString DrugFileUnchanged = QStringLiteral("；数据库没有改动");
const QString StoreUnchanged = QStringLiteral("；收藏和笔记没有改动");

int failOnCsv(ToolStreams& streams, const QString& csv, const CsvError& error, const QString& remedy = {},
              const QString& unchanged = DrugFileUnchanged) {
    return fail(streams,
                QStringLiteral("%1 第 %2 行：%3%4").arg(native(csv)).arg(error.line()).arg(error.message(), remedy) +
                    unchanged);
}

const QString ServerUnchanged = QStringLiteral("；服务器没有改动");

// A PostgreSQL URL as libpq tells one, in any case: a mistyped one is refused by the server's
// client rather than taken for a file, whose name a message would repeat. A file whose name
// begins so is named with a folder before it (./postgres://…).
bool isServerUrl(const QString& argument) {
    return argument.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive) ||
           argument.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive);
}

// The drug list a command works on: the drug file the argument names, or the list on the server
// of a URL. Messages name a server as host:port/database, never by its URL, which may hold a
// password.
class DrugList {
public:
    explicit DrugList(const QString& argument)
        : m_argument(argument)
        , m_onServer(isServerUrl(argument))
        , m_name(m_onServer ? QString() : native(argument)) {}

    // Throws DatabaseError, in Chinese.
    DrugConnection& open() {
        if (!m_onServer) {
            m_connection.openFile(m_argument, DrugPassword);
            return m_connection;
        }
        m_connection.openServer(m_argument);
        m_name = QStringLiteral("服务器 %1").arg(m_connection.server()->target());
        return m_connection;
    }

    bool onServer() const { return m_onServer; }
    // For messages: the file's path, or the server once it was reached.
    const QString& name() const { return m_name; }
    // What failed, the list named first. A server not reached is named by the failure itself.
    QString failure(const DatabaseError& error) const {
        if (!m_onServer)
            return fileFailure(m_argument, error);
        return m_name.isEmpty() ? error.message() : QStringLiteral("%1：%2").arg(m_name, error.message());
    }
    // Ends the message of a command that left the list as it was.
    const QString& unchanged() const { return m_onServer ? ServerUnchanged : DrugFileUnchanged; }

private:
    QString m_argument;
    bool m_onServer;
    QString m_name;
    DrugConnection m_connection;
};

int failOnList(ToolStreams& streams, const DrugList& list, const DatabaseError& error, const QString& after = {}) {
    return fail(streams, list.failure(error) + after);
}

} // namespace

int createCommand(const QString& file, ToolStreams& streams) {
    try {
        DrugConnection::create(file, DrugPassword);
    } catch (const DatabaseError& error) {
        return fail(streams, error.message());
    }
    streams.err << QStringLiteral("已创建空的药品数据库：%1").arg(native(file)) << Qt::endl;
    return 0;
}

int importCommand(const QString& drugList, const QString& csv, ImportMode mode, CsvEncoding encoding,
                  ToolStreams& streams) {
    if (!initialsAvailable(streams) || !converterAvailable(encoding, streams))
        return 1;
    QFile input(csv);
    if (!input.open(QIODevice::ReadOnly))
        return fail(streams, QStringLiteral("无法读取 %1：%2").arg(native(csv), input.errorString()));
    DrugList list(drugList);
    try {
        DrugConnection& connection = list.open();
        const auto progress = [&streams](qint64 done, qint64 total) {
            streams.err << QStringLiteral("已导入 %1 / %2 行").arg(done).arg(total) << Qt::endl;
        };
        reportImport(importDrugs(connection, input, mode, progress, encoding), mode, streams);
        return 0;
    } catch (const Gb18030TextError& error) {
        return failOnCsv(streams, csv, error, QStringLiteral("；请加上 --encoding gb18030 再导入"), list.unchanged());
    } catch (const CsvError& error) {
        return failOnCsv(streams, csv, error, {}, list.unchanged());
    } catch (const DatabaseError& error) {
        return failOnList(streams, list, error, list.unchanged());
    }
}

int exportCommand(const QString& drugList, CsvEncoding encoding, bool withBom, ToolStreams& streams) {
    if (!converterAvailable(encoding, streams))
        return 1;
    DrugList list(drugList);
    try {
        if (!exportDrugs(list.open(), streams.out, encoding, withBom))
            return fail(streams, QStringLiteral("无法写出：%1").arg(streams.out.errorString()));
        return 0;
    } catch (const DatabaseError& error) {
        return failOnList(streams, list, error);
    }
}

int checkCommand(const QString& drugList, ToolStreams& streams) {
    if (!initialsAvailable(streams))
        return 1;
    QTextStream out(&streams.out);
    DrugList list(drugList);
    try {
        const bool intact = checkDrugs(list.open(), out);
        out.flush();
        if (intact)
            return 0;
        return fail(streams, list.name() + (list.onServer() ? QStringLiteral("：表不合本程序的要求，问题见检查报告")
                                                            : QStringLiteral("：文件已损坏，问题见检查报告")));
    } catch (const DatabaseError& error) {
        out.flush();
        return failOnList(streams, list, error);
    }
}

int infoCommand(const QString& drugList, ToolStreams& streams) {
    DrugList list(drugList);
    try {
        const DrugConnection& connection = list.open();
        const DataInfo info = readDataInfo(connection);
        streams.out.write((dataInfoLines(info, drugCount(connection)).join(u'\n') + u'\n').toUtf8());
        return 0;
    } catch (const DatabaseError& error) {
        return failOnList(streams, list, error);
    }
}

namespace {

// The items of "项目=内容" settings, or why they cannot be written.
std::optional<QList<std::pair<QString, QString>>> settingItems(const QStringList& settings, QString& fault) {
    QList<std::pair<QString, QString>> items;
    for (const QString& setting : settings) {
        const qsizetype equals = setting.indexOf(u'=');
        const QString item = setting.left(equals);
        const QString value = equals < 0 ? QString() : setting.mid(equals + 1);
        if (item == LocalChangesItem) {
            fault = QStringLiteral("%1由程序记录，不能设置；发布新版本前可用 --reset-changes 把它归零").arg(item);
            return std::nullopt;
        }
        if (equals < 0 || !settableDataInfoItems().contains(item)) {
            fault = QStringLiteral("不能设置“%1”：应写成 项目=内容，项目是 %2 之一")
                        .arg(setting, settableDataInfoItems().join(QStringLiteral("、")));
            return std::nullopt;
        }
        if (item == RevisionDateItem) {
            if (const std::optional<QString> dateFault = revisionDateFault(value)) {
                fault = *dateFault;
                return std::nullopt;
            }
        }
        items.append({item, value});
    }
    return items;
}

} // namespace

int setInfoCommand(const QString& drugList, const QStringList& settings, bool resetChanges, ToolStreams& streams) {
    DrugList list(drugList);
    QString fault;
    std::optional<QList<std::pair<QString, QString>>> items = settingItems(settings, fault);
    if (!items)
        return fail(streams, fault + list.unchanged());
    if (resetChanges)
        items->append({LocalChangesItem, QStringLiteral("0")});
    try {
        DrugConnection& connection = list.open();
        connection.beginTransaction();
        try {
            writeDataInfo(connection, *items);
            connection.commit();
        } catch (const DatabaseError&) {
            connection.rollback();
            throw;
        }
    } catch (const DatabaseError& error) {
        return failOnList(streams, list, error, list.unchanged());
    }
    streams.err << QStringLiteral("已写入数据信息：%1").arg(list.name()) << Qt::endl;
    return 0;
}

int publishCommand(const QString& file, const QString& url, PublishMode mode, ToolStreams& streams) {
    const QString& serverUnchanged = ServerUnchanged;
    DrugConnection connection;
    try {
        connection.openFile(file, DrugPassword);
    } catch (const DatabaseError& error) {
        return failOnFile(streams, file, error, serverUnchanged);
    }
    ServerConnection server;
    try {
        server.open(url);
        const auto progress = [&streams](qint64 done, qint64 total) {
            streams.err << QStringLiteral("已发布 %1 / %2 种药品").arg(done).arg(total) << Qt::endl;
        };
        const PublishResult result = publishDrugs(connection, server, mode, progress);
        if (mode == PublishMode::Replace)
            streams.err << QStringLiteral("已删除服务器上原有的 %1 种药品").arg(result.deleted) << Qt::endl;
        streams.err << QStringLiteral("已把 %1 种药品发布到服务器 %2").arg(result.published).arg(server.target())
                    << Qt::endl;
        return 0;
    } catch (const ServerHoldsDrugsError& error) {
        return fail(streams,
                    error.message() + QStringLiteral("；要用文件中的药品替换它们，请加上 --replace") + serverUnchanged);
    } catch (const ServerError& error) {
        return fail(streams, error.message() + serverUnchanged);
    } catch (const DatabaseError& error) {
        return failOnFile(streams, file, error, serverUnchanged);
    }
}

int pinyinCommand(ToolStreams& streams) {
    if (!initialsAvailable(streams))
        return 1;
    QByteArray line;
    while (!(line = streams.in.readLine()).isEmpty()) {
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        streams.out.write(PinyinInitials(QString::fromUtf8(line)).toUtf8() + '\n');
    }
    return 0;
}

namespace {

// The drug of each key, in the order given; or every drug, in the order of its key. The keys
// no drug has go into missing. Throws DatabaseError.
QList<PaperLeaflet> readLeaflets(DrugConnection& connection, const QList<qint64>& keys, QStringList& missing) {
    const QStringList columns{KeyColumn, ChineseNameColumn, EnglishNameColumn, LeafletColumn};
    QList<PaperLeaflet> drugs;
    const auto read = [&](std::optional<qint64> key) {
        DrugRows rows(connection, columns, key);
        const qsizetype before = drugs.size();
        while (rows.next()) {
            drugs.append(PaperLeaflet{rows.value(0).integer().value_or(0), rows.value(1).toText(),
                                      rows.value(2).toText(), rows.value(3).toText()});
        }
        if (key && drugs.size() == before)
            missing.append(QString::number(*key));
    };
    if (keys.isEmpty())
        read(std::nullopt);
    for (const qint64 key : keys)
        read(key);
    return drugs;
}

} // namespace

int pdfCommand(const QString& drugList, const QString& pdf, const QList<qint64>& keys, ToolStreams& streams) {
    QList<PaperLeaflet> drugs;
    QStringList missing;
    DrugList list(drugList);
    try {
        drugs = readLeaflets(list.open(), keys, missing);
    } catch (const DatabaseError& error) {
        return failOnList(streams, list, error);
    }
    if (!missing.isEmpty()) {
        return fail(streams, QStringLiteral("%1 中没有编号为 %2 的药品；没有写出 PDF")
                                 .arg(list.name(), missing.join(QStringLiteral("、"))));
    }
    if (drugs.isEmpty())
        return fail(streams, QStringLiteral("%1 中没有药品；没有写出 PDF").arg(list.name()));
    QString error;
    if (!writeLeafletPdf(drugs, pdf, error))
        return fail(streams, error);
    streams.err << QStringLiteral("已把 %1 种药品的说明书写入 %2").arg(drugs.size()).arg(native(pdf)) << Qt::endl;
    return 0;
}

namespace {

// The user's CSV file must be a plain one: a folder is none, and a named pipe or a device would
// keep the tool waiting for another program.
std::optional<QString> notAPlainFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 是一个文件夹，不是 CSV 文件").arg(native(path));
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 不是普通文件（是命名管道、设备或套接字）").arg(native(path));
    return std::nullopt;
}

void warnOfSetAside(const UserStore& store, ToolStreams& streams) {
    if (!store.setAside().isEmpty())
        streams.err << QStringLiteral("xiyao-db：警告：") << store.setAside() << Qt::endl;
}

void reportMerge(const UserDataMerge& merge, ToolStreams& streams) {
    streams.err
        << QStringLiteral("收藏：加入 %1 个，已有 %2 个").arg(merge.favouritesAdded).arg(merge.favouritesPresent)
        << Qt::endl
        << QStringLiteral("笔记：加入 %1 条，接在原有笔记之后 %2 条，原有笔记已包含而跳过 %3 条")
               .arg(merge.notesAdded)
               .arg(merge.notesAppended)
               .arg(merge.notesPresent)
        << Qt::endl;
    if (merge.notesEmpty > 0)
        streams.err << QStringLiteral("跳过了 %1 条没有内容的笔记").arg(merge.notesEmpty) << Qt::endl;
    if (!merge.changed())
        streams.err << QStringLiteral("没有新的内容，收藏和笔记没有改动") << Qt::endl;
}

} // namespace

int notesExportCommand(const QString& storePath, const QString& csv, bool withBom, ToolStreams& streams) {
    const QString notWritten = QStringLiteral("；没有导出");
    if (const std::optional<QString> fault = notAPlainFile(csv))
        return fail(streams, *fault + notWritten);
    const QFileInfo storeInfo(storePath);
    // The file written takes the place of the one there: never the store's own.
    if (storeInfo.exists() && QFileInfo(csv).canonicalFilePath() == storeInfo.canonicalFilePath())
        return fail(streams, QStringLiteral("%1 就是收藏和笔记文件本身").arg(native(csv)) + notWritten);
    QList<DrugNames> favourites;
    QList<UserNote> notes;
    // An export only reads: a store not made yet is not made for it.
    if (storeInfo.exists()) {
        try {
            UserStore store(storePath);
            warnOfSetAside(store, streams);
            favourites = store.favourites();
            notes = store.notes();
        } catch (const DatabaseError& error) {
            return fail(streams, error.message() + notWritten);
        }
    } else {
        streams.err << QStringLiteral("还没有收藏和笔记（%1 不存在），导出的文件只有表头").arg(native(storePath))
                    << Qt::endl;
    }
    const bool existed = QFileInfo::exists(csv);
    // Written whole or not at all: a file there is replaced only once the new one is complete.
    QSaveFile out(csv);
    if (!out.open(QIODevice::WriteOnly))
        return fail(streams, QStringLiteral("无法写入 %1：%2").arg(native(csv), out.errorString()) + notWritten);
    // Notes are the user's own, as private as the store.
    if (!existed)
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!writeUserData(out, favourites, notes, withBom) || !out.commit())
        return fail(streams, QStringLiteral("无法写入 %1：%2").arg(native(csv), out.errorString()) + notWritten);
    streams.err << QStringLiteral("已把 %1 个收藏和 %2 条笔记导出到 %3")
                       .arg(favourites.size())
                       .arg(notes.size())
                       .arg(native(csv))
                << Qt::endl;
    return 0;
}

int notesImportCommand(const QString& storePath, const QString& csv, ToolStreams& streams) {
    if (const std::optional<QString> fault = notAPlainFile(csv))
        return fail(streams, *fault + StoreUnchanged);
    QFile input(csv);
    if (!input.open(QIODevice::ReadOnly))
        return fail(streams, QStringLiteral("无法读取 %1：%2").arg(native(csv), input.errorString()) + StoreUnchanged);
    // Every row is read and checked before the store is opened: a bad file makes no store either.
    QList<UserDataRow> rows;
    try {
        rows = readUserData(input);
    } catch (const Gb18030TextError& error) {
        return failOnCsv(streams, csv, error,
                         QStringLiteral("；请在 Excel 或 WPS 中另存为“CSV UTF-8（逗号分隔）”后再导入"), StoreUnchanged);
    } catch (const CsvError& error) {
        return failOnCsv(streams, csv, error, {}, StoreUnchanged);
    }
    std::optional<UserStore> store;
    try {
        store.emplace(storePath);
    } catch (const DatabaseError& error) {
        return fail(streams, error.message() + StoreUnchanged);
    }
    warnOfSetAside(*store, streams);
    try {
        reportMerge(mergeUserData(*store, rows), streams);
    } catch (const DatabaseError& error) {
        return fail(streams, error.message() + StoreUnchanged);
    }
    return 0;
}

namespace {

const QString EncodingOption = QStringLiteral("--encoding");
const QString SetOption = QStringLiteral("--set");
const QString StoreOption = QStringLiteral("--store");

// Options may stand anywhere after the command; "--" ends them, so a file may begin with "-".
// --encoding, --set and --store take the argument after them as their value.
struct Arguments {
    QStringList positional;
    QStringList options;
    QStringList encodings; // the values of --encoding
    QStringList settings;  // the values of --set
    QStringList stores;    // the values of --store
    bool valueMissing = false;
};

Arguments splitArguments(const QStringList& arguments) {
    Arguments split;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QStringLiteral("--"))
            optionsEnded = true;
        else if (!optionsEnded && argument == EncodingOption && i + 1 < arguments.size())
            split.encodings.append(arguments[++i]);
        else if (!optionsEnded && argument == SetOption && i + 1 < arguments.size())
            split.settings.append(arguments[++i]);
        else if (!optionsEnded && argument == StoreOption && i + 1 < arguments.size())
            split.stores.append(arguments[++i]);
        else if (!optionsEnded && (argument == EncodingOption || argument == SetOption || argument == StoreOption))
            split.valueMissing = true;
        else if (!optionsEnded && argument.size() > 1 && argument.startsWith(u'-'))
            split.options.append(argument);
        else
            split.positional.append(argument);
    }
    return split;
}

// GBK is read as GB18030, its superset. UTF-8, the default, has no name here.
std::optional<CsvEncoding> encodingNamed(const QString& name) {
    const QString lower = name.toLower();
    if (lower == QStringLiteral("gb18030") || lower == QStringLiteral("gbk"))
        return CsvEncoding::Gb18030;
    return std::nullopt;
}

QString usage() {
    return QStringLiteral(
               "用法：\n"
               "  xiyao-db create 文件          新建空的加密药品数据库\n"
               "  xiyao-db import 文件 CSV      从 CSV 文件（UTF-8）导入药品；中文名已在库中的行照样导入，并给出警告\n"
               "      --skip-existing           不导入中文名已在库中的行\n"
               "      --replace                 先删除全部药品再导入，同在一个事务中：出错时数据库不变\n"
               "      --encoding gb18030        按 GB18030（GBK）读取：中文 Windows 上的 Excel、WPS 保存的 CSV "
               "就是这种编码\n"
               "      CSV 的第一行是列名，必须有中文名；可用的列：%1。\n"
               "      程序显示中文名、英文名和药物说明书；编号和拼音列可以有，但不从文件读取。\n"
               "  xiyao-db export 文件          把全部药品以 CSV（UTF-8）写到标准输出\n"
               "      --bom                     先写 UTF-8 字节顺序标记（BOM），电子表格程序据此认出编码\n"
               "      --encoding gb18030        写成 GB18030（GBK），中文 Windows 上的 Excel、WPS 可以直接打开\n"
               "  xiyao-db check 文件           检查数据库并列出拼音问题；数据库已损坏时退出状态为 1\n"
               "  xiyao-db info 文件            "
               "列出数据信息（数据版本、修订日期、来源、导入日期、本地修改次数）和药品数\n"
               "      --set 项目=内容           写入数据信息，可以重复，全部在一个事务中：项目是数据版本、修订日期"
               "（YYYY-MM-DD）或来源\n"
               "      --reset-changes           把本地修改次数归零（发布新版本前）；本地修改次数不能用 --set 设置\n"
               "      导入时记下导入日期；程序中的加入、修改、删除各算一次本地修改。\n"
               "  xiyao-db publish 文件 地址    把药品数据库中的全部药品和数据信息发布到 PostgreSQL 服务器，"
               "在一个事务中：出错时服务器不变\n"
               "      地址写成 postgresql://用户@主机:端口/数据库；密码放在 "
               "~/.pgpass（写在地址中别人可以从进程列表看到）\n"
               "      服务器上还没有表时新建；药品保留文件中的编号；导入日期记为发布的日期\n"
               "      --replace                 服务器上已有药品时，先删除它们再发布；不加时服务器上已有药品就不发布\n"
               "      import、export、check、info、pdf 的“文件”也可以写服务器地址（postgresql:// 或 postgres:// "
               "开头）："
               "读写服务器上的药品表；\n"
               "      import 在一个事务中，出错时服务器不变，新药品的编号由服务器给出；check 检查服务器上的表和拼音\n"
               "  xiyao-db pinyin               把标准输入的每一行换成拼音首字母\n"
               "  xiyao-db pdf 文件 PDF 编号…   把这些编号的药品说明书依次写成一个 PDF 文件，每种药品从新的一页开始\n"
               "      --all                     写出全部药品，按编号的顺序\n"
               "  xiyao-db notes export CSV     把您的收藏和笔记写成 CSV 文件（UTF-8）：先收藏后笔记，"
               "最近查看的药品不导出；\n"
               "                                还没有收藏和笔记文件时不新建它，写出的文件只有表头\n"
               "      --bom                     先写 UTF-8 字节顺序标记（BOM），电子表格程序据此认出编码\n"
               "  xiyao-db notes import CSV     把 CSV 文件中的收藏和笔记合并进来，不会重复：已有的收藏不变；"
               "药品还没有笔记就加上，\n"
               "                                原有笔记已包含的跳过，其余接在原有笔记之后（空一行）；"
               "文件有错时什么都不改\n"
               "      --store 文件              导出、导入都用这个收藏和笔记文件，不用您自己的（%2）\n"
               "      CSV 的第一行是列名：%3；类型是“%4”（内容为空）或“%5”。\n"
               "选项写在文件的前面或后面都可以。\n")
        .arg(importedColumns().join(QStringLiteral("、")), QDir::toNativeSeparators(UserStore::defaultPath()),
             userDataColumns().join(QStringLiteral("、")), FavouriteKind, NoteKind);
}

// why: what is wrong, when more can be said than that.
int wrongArguments(ToolStreams& streams, const QString& why = {}) {
    streams.err << QStringLiteral("xiyao-db：命令或参数不对")
                << (why.isEmpty() ? QString() : QStringLiteral("：") + why) << QStringLiteral("。\n") << usage();
    return 2;
}

} // namespace

int runTool(const QStringList& arguments, ToolStreams& streams) {
    const QString skipExisting = QStringLiteral("--skip-existing");
    const QString replace = QStringLiteral("--replace");
    const QString bom = QStringLiteral("--bom");
    const Arguments split = splitArguments(arguments);
    if (split.valueMissing || split.encodings.size() > 1)
        return wrongArguments(streams);
    const bool encodingGiven = !split.encodings.isEmpty();
    const std::optional<CsvEncoding> encoding =
        encodingGiven ? encodingNamed(split.encodings[0]) : std::optional(CsvEncoding::Utf8);
    if (!encoding) {
        return wrongArguments(streams, QStringLiteral("不支持的编码“%1”，可以用 gb18030（或 gbk）；不加 %2 时为 UTF-8")
                                           .arg(split.encodings[0], EncodingOption));
    }
    const QStringList& positional = split.positional;
    const QString command = positional.value(0);
    if (!split.settings.isEmpty() && command != QStringLiteral("info"))
        return wrongArguments(streams, QStringLiteral("只有 info 命令有 %1").arg(SetOption));
    if (!split.stores.isEmpty() && command != QStringLiteral("notes"))
        return wrongArguments(streams, QStringLiteral("只有 notes 命令有 %1").arg(StoreOption));
    if (split.stores.size() > 1 || split.stores.contains(QString()))
        return wrongArguments(streams, QStringLiteral("%1 要跟一个文件").arg(StoreOption));
    const qsizetype count = positional.size();
    // A command takes at most one option of its own besides --encoding: the import's two
    // exclude each other, and a GB18030 text has no byte order mark.
    const bool noOption = split.options.isEmpty() && !encodingGiven;
    const QString option = split.options.size() == 1 ? split.options[0] : QString();
    const bool noOwnOption = split.options.isEmpty();
    // Never repeated in a message: the address may hold a password.
    if (command == QStringLiteral("create") && count == 2 && isServerUrl(positional[1]))
        return wrongArguments(streams, QStringLiteral("create 只新建药品数据库文件；服务器上的表由 publish 新建"));
    if (command == QStringLiteral("create") && count == 2 && noOption)
        return createCommand(positional[1], streams);
    if (command == QStringLiteral("import") && count == 3 &&
        (noOwnOption || option == skipExisting || option == replace)) {
        const ImportMode mode = option == replace        ? ImportMode::Replace
                                : option == skipExisting ? ImportMode::SkipExisting
                                                         : ImportMode::Add;
        return importCommand(positional[1], positional[2], mode, *encoding, streams);
    }
    if (command == QStringLiteral("export") && count == 2 && (noOwnOption || (option == bom && !encodingGiven)))
        return exportCommand(positional[1], *encoding, option == bom, streams);
    if (command == QStringLiteral("check") && count == 2 && noOption)
        return checkCommand(positional[1], streams);
    if (command == QStringLiteral("info") && count == 2 && !encodingGiven) {
        const bool reset = option == QStringLiteral("--reset-changes");
        if (!noOwnOption && !reset)
            return wrongArguments(streams);
        if (split.settings.isEmpty() && !reset)
            return infoCommand(positional[1], streams);
        return setInfoCommand(positional[1], split.settings, reset, streams);
    }
    if (command == QStringLiteral("publish") && count == 3 && !encodingGiven && (noOwnOption || option == replace)) {
        // Never repeated in a message: the address may hold a password.
        if (isServerUrl(positional[1]))
            return wrongArguments(streams, QStringLiteral("publish 先写药品数据库文件，再写服务器地址"));
        return publishCommand(positional[1], positional[2],
                              option == replace ? PublishMode::Replace : PublishMode::IntoEmpty, streams);
    }
    if (command == QStringLiteral("pinyin") && count == 1 && noOption)
        return pinyinCommand(streams);
    if (command == QStringLiteral("pdf") && count >= 3 && !encodingGiven) {
        const bool all = option == QStringLiteral("--all");
        if ((all && count > 3) || (!all && (!noOwnOption || count == 3)))
            return wrongArguments(streams, QStringLiteral("pdf 要跟编号，或 --all，二者只选其一"));
        QList<qint64> keys;
        for (const QString& text : positional.sliced(3)) {
            bool number = false;
            keys.append(text.toLongLong(&number));
            if (!number)
                return wrongArguments(streams, QStringLiteral("编号“%1”不是整数").arg(text));
        }
        return pdfCommand(positional[1], positional[2], keys, streams);
    }
    if (command == QStringLiteral("notes") && count == 3 && !encodingGiven) {
        const QString store = split.stores.isEmpty() ? UserStore::defaultPath() : split.stores[0];
        if (positional[1] == QStringLiteral("export") && (noOwnOption || option == bom))
            return notesExportCommand(store, positional[2], option == bom, streams);
        if (positional[1] == QStringLiteral("import") && noOwnOption)
            return notesImportCommand(store, positional[2], streams);
    }
    if ((command == QStringLiteral("help") && count == 1 && noOption) ||
        (count == 0 && option == QStringLiteral("--help") && !encodingGiven)) {
        streams.err << usage();
        return 0;
    }
    return wrongArguments(streams);
}
