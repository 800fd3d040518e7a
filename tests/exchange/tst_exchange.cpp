#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"
#include "exchange/Csv.h"
#include "exchange/DrugCheck.h"
#include "exchange/DrugExport.h"
#include "exchange/DrugImport.h"
#include "exchange/UserDataExchange.h"
#include "pinyin/PinyinInitials.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/ProgramRun.h"

#include <QBuffer>
#include <QtTest>

using Records = QList<QList<QByteArray>>;

namespace {

// The file format the users' spreadsheets know: every column, in this order.
const QByteArray Header = "编号,中文名,英文名,药物说明书,拼音,类别,规格,用量,用法,剂型\r\n";

// Small blocks put every boundary of a short text between two reads; the default one is
// what the tool really reads with.
const QList<qint64> BlockSizes = {1, 2, 3, 5, CsvReader::DefaultBlockSize};

// Adds one row per block size, the block size in the first column.
template <typename... Values> void addRowsForEveryBlockSize(const char* name, const Values&... values) {
    for (const qint64 blockSize : BlockSizes)
        ((QTest::addRow("%s, block %lld", name, static_cast<long long>(blockSize)) << blockSize) << ... << values);
}

void openText(QBuffer& buffer, const QByteArray& text) {
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
}

// A pipe: what was read cannot be read again.
class PipeDevice : public QIODevice {
public:
    explicit PipeDevice(const QByteArray& text)
        : m_text(text) {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 length) override {
        const qint64 count = qMin(length, m_text.size() - m_read);
        std::copy_n(m_text.constData() + m_read, count, data);
        m_read += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_text;
    qint64 m_read = 0;
};

// A device that takes only so many bytes, like a disk that fills up.
class FillingDevice : public QBuffer {
public:
    explicit FillingDevice(qint64 room)
        : m_room(room) {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (size() + length > m_room) {
            setErrorString(QStringLiteral("设备已满"));
            return -1;
        }
        return QBuffer::writeData(data, length);
    }

private:
    qint64 m_room;
};

ImportResult importText(const DrugFileFixture& file, const QByteArray& csv, ImportMode mode = ImportMode::Add,
                        const ImportProgress& progress = {}, CsvEncoding encoding = CsvEncoding::Utf8) {
    QBuffer buffer;
    openText(buffer, csv);
    return importDrugs(file.connection(), buffer, mode, progress, encoding);
}

QByteArray exportText(const DrugFileFixture& file, bool withBom = false, CsvEncoding encoding = CsvEncoding::Utf8) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!exportDrugs(file.connection(), buffer, encoding, withBom))
        return "export refused";
    return buffer.data();
}

// A drug as the tests compare it: Chinese name, initials, English name, leaflet.
QStringList texts(const DrugFileFixture::Drug& drug) {
    return {drug.chineseName.toText(), drug.initials.toText(), drug.englishName.toText(), drug.leaflet.toText()};
}

QByteArray userDataText(UserStore& store, bool withBom = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!writeUserData(buffer, store.favourites(), store.notes(), withBom))
        return "export refused";
    return buffer.data();
}

UserDataMerge importUserText(UserStore& store, const QByteArray& csv) {
    QBuffer buffer;
    openText(buffer, csv);
    return mergeUserData(store, readUserData(buffer));
}

// The merge's counts in the order of UserDataMerge.
QList<qint64> counts(const UserDataMerge& merge) {
    return {merge.favouritesAdded, merge.favouritesPresent, merge.notesAdded,
            merge.notesAppended,   merge.notesPresent,      merge.notesEmpty};
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsRecords_data();
    void readsRecords();
    void readerRejects_data();
    void readerRejects();
    void writesRecordsThatReadBack_data();
    void writesRecordsThatReadBack();
    void decodesStrictUtf8_data();
    void decodesStrictUtf8();

    void importStoresRows_data();
    void importStoresRows();
    void importReadsADeviceThatCannotSeek();
    void importModesTreatExistingNames_data();
    void importModesTreatExistingNames();
    void brokenRowLeavesFileUntouched_data();
    void brokenRowLeavesFileUntouched();
    void engineFailureKeepsTheFileAndEndsTheTransaction_data();
    void engineFailureKeepsTheFileAndEndsTheTransaction();
    void largeImportReportsProgress_data();
    void largeImportReportsProgress();

    void exportWritesEveryColumnInKeyOrder();
    void exportOfAnEmptyFileIsTheHeader();
    void exportReportsADeviceThatRefusesText_data();
    void exportReportsADeviceThatRefusesText();
    void exportImportRoundTrip_data();
    void exportImportRoundTrip();

    void checkListsWrongInitialsAndUnreachableNames();

    void userDataRoundTrip_data();
    void userDataRoundTrip();
    void userDataMergeLosesNothing_data();
    void userDataMergeLosesNothing();
    void userDataRejects_data();
    void userDataRejects();
};

void TestExchange::readsRecords_data() {
    QTest::addColumn<qint64>("blockSize");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QList<qint64>>("lines");

    addRowsForEveryBlockSize("CR LF line ends", QByteArray("a,b\r\nc,d\r\n"), Records{{"a", "b"}, {"c", "d"}},
                             QList<qint64>{1, 2});
    addRowsForEveryBlockSize("LF line ends", QByteArray("a,b\nc,d\n"), Records{{"a", "b"}, {"c", "d"}},
                             QList<qint64>{1, 2});
    addRowsForEveryBlockSize("CR-only line ends", QByteArray("a,b\rc,d\r"), Records{{"a", "b"}, {"c", "d"}},
                             QList<qint64>{1, 2});
    addRowsForEveryBlockSize("no line end after the last record", QByteArray("a\r\nb,c"), Records{{"a"}, {"b", "c"}},
                             QList<qint64>{1, 2});
    addRowsForEveryBlockSize("blank lines of every kind passed over", QByteArray("\r\n\na\r\n\r\rb\n\n"),
                             Records{{"a"}, {"b"}}, QList<qint64>{3, 6});
    addRowsForEveryBlockSize("empty fields", QByteArray(",,\r\na,\r\n"), Records{{"", "", ""}, {"a", ""}},
                             QList<qint64>{1, 2});
    addRowsForEveryBlockSize("BOM skipped",
                             QByteArray("\xEF\xBB\xBF"
                                        "a,b\r\n"),
                             Records{{"a", "b"}}, QList<qint64>{1});
    addRowsForEveryBlockSize("BOM alone", QByteArray("\xEF\xBB\xBF"), Records{}, QList<qint64>{});
    addRowsForEveryBlockSize("only the first BOM skipped",
                             QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                                        "a"),
                             Records{{"\xEF\xBB\xBF"
                                      "a"}},
                             QList<qint64>{1});
    addRowsForEveryBlockSize("full-width comma at the start, no BOM",
                             QByteArray("\xEF\xBC\x8C"
                                        "x,y\r\n"),
                             Records{{"\xEF\xBC\x8C"
                                      "x",
                                      "y"}},
                             QList<qint64>{1});
    addRowsForEveryBlockSize("two bytes of a BOM, then text",
                             QByteArray("\xEF\xBB"
                                        "a\r\n"),
                             Records{{"\xEF\xBB"
                                      "a"}},
                             QList<qint64>{1});
    addRowsForEveryBlockSize("lone 0xEF at the start", QByteArray("\xEF,b\r\n"), Records{{"\xEF", "b"}},
                             QList<qint64>{1});
    addRowsForEveryBlockSize("lone 0xEF is the whole text", QByteArray("\xEF"), Records{{"\xEF"}}, QList<qint64>{1});
    addRowsForEveryBlockSize("quoted commas", QByteArray("\"a,b\",c\r\n"), Records{{"a,b", "c"}}, QList<qint64>{1});
    addRowsForEveryBlockSize("doubled quotes", QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\r\n"),
                             Records{{"say \"hi\"", "\""}}, QList<qint64>{1});
    addRowsForEveryBlockSize("empty quoted fields", QByteArray("\"\",\"\"\r\n"), Records{{"", ""}}, QList<qint64>{1});
    addRowsForEveryBlockSize("quoted field at the end of the text", QByteArray("a,\"b\""), Records{{"a", "b"}},
                             QList<qint64>{1});
    addRowsForEveryBlockSize("line breaks inside quotes kept byte for byte",
                             QByteArray("\"1\r\n2\n3\r4\",z\r\nnext\r\n"), Records{{"1\r\n2\n3\r4", "z"}, {"next"}},
                             QList<qint64>{1, 5});
    addRowsForEveryBlockSize("CR-only line breaks inside quotes", QByteArray("\"1\r2\",z\rnext\r"),
                             Records{{"1\r2", "z"}, {"next"}}, QList<qint64>{1, 3});

    // The doubled quote stands on both sides of the default block's end.
    const QByteArray filler(CsvReader::DefaultBlockSize - 2, 'x');
    addRowsForEveryBlockSize("field longer than a block, doubled quote across its end",
                             "\"" + filler + "\"\"tail\",b\r\nnext\r\n", Records{{filler + "\"tail", "b"}, {"next"}},
                             QList<qint64>{1, 2});
    const QByteArray record(CsvReader::DefaultBlockSize - 1, 'y');
    addRowsForEveryBlockSize("CR LF across the end of a block", record + "\r\nnext", Records{{record}, {"next"}},
                             QList<qint64>{1, 2});
}

void TestExchange::readsRecords() {
    QFETCH(qint64, blockSize);
    QFETCH(QByteArray, csv);
    QFETCH(Records, records);
    QFETCH(QList<qint64>, lines);
    QBuffer buffer;
    openText(buffer, csv);
    CsvReader reader(buffer, blockSize);
    Records read;
    QList<qint64> readLines;
    QList<QByteArray> fields;
    while (reader.next(fields)) {
        read.append(fields);
        readLines.append(reader.recordLine());
    }
    QCOMPARE(read, records);
    QCOMPARE(readLines, lines);
}

void TestExchange::readerRejects_data() {
    QTest::addColumn<qint64>("blockSize");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("message");
    const QString strayQuote = QStringLiteral("未加引号的字段中出现了引号");
    const QString textAfterQuote = QStringLiteral("右引号后面出现了多余的字符");
    addRowsForEveryBlockSize("quote inside an unquoted field", QByteArray("ab\"c,d\r\n"), qint64(1), strayQuote);
    addRowsForEveryBlockSize("quote inside a later record", QByteArray("a\r\nb\r\nc,d\"\r\n"), qint64(3), strayQuote);
    addRowsForEveryBlockSize("text after the closing quote", QByteArray("x,\"ab\"c\r\n"), qint64(1), textAfterQuote);
    addRowsForEveryBlockSize("text after a quote closed on a later line", QByteArray("\"a\nb\"c\r\n"), qint64(2),
                             textAfterQuote);
    addRowsForEveryBlockSize("unclosed quote names its record's first line", QByteArray("a\r\nb,\"c\r\nd\r\n"),
                             qint64(2), QStringLiteral("引号没有闭合"));
}

void TestExchange::readerRejects() {
    QFETCH(qint64, blockSize);
    QFETCH(QByteArray, csv);
    QFETCH(qint64, line);
    QFETCH(QString, message);
    QBuffer buffer;
    openText(buffer, csv);
    CsvReader reader(buffer, blockSize);
    QList<QByteArray> fields;
    try {
        while (reader.next(fields)) {
        }
        QFAIL("the text was read without complaint");
    } catch (const CsvError& error) {
        QCOMPARE(error.message(), message);
        QCOMPARE(error.line(), line);
    }
}

void TestExchange::writesRecordsThatReadBack_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("plain") << QStringList{QStringLiteral("a"), QStringLiteral("头孢")} << QByteArray("a,头孢\r\n");
    QTest::newRow("spaces and empty fields kept unquoted")
        << QStringList{QStringLiteral(" a "), QString(), QStringLiteral("b")} << QByteArray(" a ,,b\r\n");
    QTest::newRow("comma") << QStringList{QStringLiteral("a,b"), QStringLiteral("c")} << QByteArray("\"a,b\",c\r\n");
    QTest::newRow("quotes doubled") << QStringList{QStringLiteral("say \"hi\""), QStringLiteral("\"")}
                                    << QByteArray("\"say \"\"hi\"\"\",\"\"\"\"\r\n");
    QTest::newRow("line breaks") << QStringList{QStringLiteral("1\r\n2"), QStringLiteral("3\n4"),
                                                QStringLiteral("5\r6")}
                                 << QByteArray("\"1\r\n2\",\"3\n4\",\"5\r6\"\r\n");
}

void TestExchange::writesRecordsThatReadBack() {
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, record);
    QCOMPARE(csvRecord(texts), record);

    QBuffer buffer;
    openText(buffer, record + record);
    CsvReader reader(buffer);
    QList<QByteArray> fields;
    for (int i = 0; i < 2; ++i) {
        QVERIFY(reader.next(fields));
        QStringList read;
        for (const QByteArray& field : std::as_const(fields))
            read.append(QString::fromUtf8(field));
        QCOMPARE(read, texts);
    }
    QVERIFY(!reader.next(fields));
}

void TestExchange::decodesStrictUtf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::newRow("Chinese") << QByteArray("头孢") << true << QStringLiteral("头孢");
    QTest::newRow("BOM inside a field kept") << QByteArray("\xEF\xBB\xBF"
                                                           "a")
                                             << true << QStringLiteral("\uFEFFa");
    QTest::newRow("truncated sequence") << QByteArray("\xE5\xB8") << false << QString();
    QTest::newRow("overlong encoding") << QByteArray("\xC0\xAF") << false << QString();
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false << QString();
    QTest::newRow("stray continuation byte") << QByteArray("a\x80") << false << QString();
}

void TestExchange::decodesStrictUtf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    QString decoded;
    QCOMPARE(decodeUtf8(bytes, decoded), valid);
    if (valid)
        QCOMPARE(decoded, text);
}

void TestExchange::importStoresRows_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QList<QStringList>>("drugs");
    QTest::addColumn<CsvEncoding>("encoding");
    // A BOM, a header in another order, 编号 and 拼音 given but ignored, a leaflet holding
    // CR LF, a lone LF, commas and doubled quotes, and LF record ends.
    QTest::newRow("BOM, reordered header, key and initials ignored, quoted fields")
        << QByteArray("\xEF\xBB\xBF"
                      "拼音,中文名,编号,药物说明书,英文名\n"
                      "XXXX,头孢呋辛,999,\"第一行，\r\n第二行, \"\"引号\"\"\n第三行\",Cefuroxime\n"
                      "\n"
                      ",维生素B1,,,\"Vitamin B1, thiamine\"\n")
        << QList<QStringList>{{QStringLiteral("头孢呋辛"), QStringLiteral("TbfX"), QStringLiteral("Cefuroxime"),
                               QStringLiteral("第一行，\r\n第二行, \"引号\"\n第三行")},
                              {QStringLiteral("维生素B1"), QStringLiteral("WSSB"),
                               QStringLiteral("Vitamin B1, thiamine"), QString()}}
        << CsvEncoding::Utf8;
    QTest::newRow("header names trimmed")
        << QByteArray(" 中文名 ,\t英文名\r\n布洛芬,Ibuprofen\r\n")
        << QList<QStringList>{{QStringLiteral("布洛芬"), QStringLiteral("BLF"), QStringLiteral("Ibuprofen"), QString()}}
        << CsvEncoding::Utf8;
    QTest::newRow("CR-only line ends")
        << QByteArray("中文名,药物说明书\r阿莫西林,\"一\r二\"\r布洛芬,\r")
        << QList<QStringList>{{QStringLiteral("阿莫西林"), QStringLiteral("AMXL"), QString(), QStringLiteral("一\r二")},
                              {QStringLiteral("布洛芬"), QStringLiteral("BLF"), QString(), QString()}}
        << CsvEncoding::Utf8;
    const QString longLeaflet = QStringLiteral("用法，用量\r\n").repeated(CsvReader::DefaultBlockSize / 8);
    QTest::newRow("leaflet longer than the reader's block")
        << "中文名,药物说明书,英文名\r\n阿莫西林,\"" + longLeaflet.toUtf8() + "\",Amoxicillin\r\n"
        << QList<QStringList>{{QStringLiteral("阿莫西林"), QStringLiteral("AMXL"), QStringLiteral("Amoxicillin"),
                               longLeaflet}}
        << CsvEncoding::Utf8;
    QTest::newRow("header alone") << QByteArray("中文名\r\n") << QList<QStringList>{} << CsvEncoding::Utf8;
    // Empty cells at the header's end and wholly empty rows, as spreadsheet programs leave them.
    const QList<QStringList> listed{{QStringLiteral("阿莫西林"), QStringLiteral("AMXL"), QStringLiteral("Amoxicillin"),
                                     QStringLiteral("一日三次，\r\n饭后“服用”")},
                                    {QStringLiteral("布洛芬"), QStringLiteral("BLF"), QString(), QString()}};
    const QByteArray excel = "中文名,英文名,药物说明书,,\r\n"
                             "阿莫西林,Amoxicillin,\"一日三次，\r\n饭后“服用”\",,\r\n"
                             ",,,,\r\n"
                             "\r\n"
                             "布洛芬,,,,\r\n"
                             ",,,,\r\n";
    QTest::newRow("GBK as Excel saves it: CR LF, empty cells at the header's end, empty rows")
        << gb18030(excel) << listed << CsvEncoding::Gb18030;
    QTest::newRow("empty cells at the header's end: rows with or without the empty fields under them")
        << QByteArray("中文名,英文名,药物说明书,,\r\n"
                      "阿莫西林,Amoxicillin,\"一日三次，\r\n饭后“服用”\"\r\n"
                      ",,\r\n"
                      "布洛芬,,,\r\n")
        << listed << CsvEncoding::Utf8;
}

void TestExchange::importStoresRows() {
    QFETCH(QByteArray, csv);
    QFETCH(QList<QStringList>, drugs);
    QFETCH(CsvEncoding, encoding);
    DrugFileFixture file;
    QCOMPARE(importText(file, csv, ImportMode::Add, {}, encoding).imported, qint64(drugs.size()));
    // The import's large page cache is not left on the connection.
    Statement cacheSize(file.connection(), QStringLiteral("PRAGMA cache_size"));
    QVERIFY(cacheSize.step());
    QCOMPARE(cacheSize.column(0).integer(), std::optional<qint64>(-2000));
    const QList<DrugFileFixture::Drug> stored = file.readAll();
    QCOMPARE(stored.size(), drugs.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        QCOMPARE(stored[i].key, qint64(i + 1));
        QCOMPARE(texts(stored[i]), drugs[i]);
    }
}

void TestExchange::importReadsADeviceThatCannotSeek() {
    DrugFileFixture file;
    PipeDevice pipe("中文名\r\n布洛芬\r\n阿莫西林\r\n");
    QCOMPARE(importDrugs(file.connection(), pipe).imported, qint64(2));
    const QList<DrugFileFixture::Drug> stored = file.readAll();
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[1].chineseName.toText(), QStringLiteral("阿莫西林"));
}

void TestExchange::importModesTreatExistingNames_data() {
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<QStringList>("drugs"); // "key name", in key order
    QTest::addColumn<qint64>("imported");
    QTest::addColumn<qint64>("existingRows");
    QTest::addColumn<QStringList>("existingNames");
    QTest::addColumn<qint64>("deleted");
    QTest::addColumn<bool>("keyCounter"); // the table remembers deleted drugs' keys (AUTOINCREMENT)
    // The file holds 阿莫西林, 布洛芬 and 维生素B1 as keys 1 to 3; names compare exactly, so
    // "布洛芬 " and 维生素b1 are new.
    const QStringList existing{QStringLiteral("布洛芬"), QStringLiteral("阿莫西林")};
    QTest::newRow("add: existing names counted, imported all the same")
        << ImportMode::Add
        << QStringList{QStringLiteral("1 阿莫西林"), QStringLiteral("2 布洛芬"),   QStringLiteral("3 维生素B1"),
                       QStringLiteral("4 布洛芬"),   QStringLiteral("5 头孢呋辛"), QStringLiteral("6 阿莫西林"),
                       QStringLiteral("7 布洛芬 "),  QStringLiteral("8 维生素b1"), QStringLiteral("9 布洛芬")}
        << qint64(6) << qint64(3) << existing << qint64(0) << true;
    QTest::newRow("skip existing") << ImportMode::SkipExisting
                                   << QStringList{QStringLiteral("1 阿莫西林"), QStringLiteral("2 布洛芬"),
                                                  QStringLiteral("3 维生素B1"), QStringLiteral("4 头孢呋辛"),
                                                  QStringLiteral("5 布洛芬 "),  QStringLiteral("6 维生素b1")}
                                   << qint64(3) << qint64(3) << existing << qint64(0) << true;
    // The keys go on above the deleted ones, also where the table itself would forget them.
    const QStringList replaced{QStringLiteral("4 布洛芬"),  QStringLiteral("5 头孢呋辛"), QStringLiteral("6 阿莫西林"),
                               QStringLiteral("7 布洛芬 "), QStringLiteral("8 维生素b1"), QStringLiteral("9 布洛芬")};
    for (const bool keyCounter : {true, false}) {
        QTest::addRow("replace, %s", keyCounter ? "AUTOINCREMENT" : "plain INTEGER PRIMARY KEY")
            << ImportMode::Replace << replaced << qint64(6) << qint64(0) << QStringList{} << qint64(3) << keyCounter;
    }
}

void TestExchange::importModesTreatExistingNames() {
    QFETCH(ImportMode, mode);
    QFETCH(QStringList, drugs);
    QFETCH(qint64, imported);
    QFETCH(qint64, existingRows);
    QFETCH(QStringList, existingNames);
    QFETCH(qint64, deleted);
    QFETCH(bool, keyCounter);
    DrugFileFixture file;
    if (!keyCounter) {
        QString schema = DrugTableSchema;
        file.connection().execute(QStringLiteral("DROP TABLE %1").arg(DrugTableName));
        file.connection().execute(schema.remove(QStringLiteral(" AUTOINCREMENT")));
    }
    for (const QString& name : {QStringLiteral("阿莫西林"), QStringLiteral("布洛芬"), QStringLiteral("维生素B1")})
        file.insert(name, Cell(PinyinInitials(name)));
    const ImportResult result =
        importText(file, "中文名\r\n布洛芬\r\n头孢呋辛\r\n阿莫西林\r\n布洛芬 \r\n维生素b1\r\n布洛芬\r\n", mode);
    QCOMPARE(result.imported, imported);
    QCOMPARE(result.existingRows, existingRows);
    QCOMPARE(result.existingNames, existingNames);
    QCOMPARE(result.deleted, deleted);
    QStringList stored;
    for (const DrugFileFixture::Drug& drug : file.readAll())
        stored.append(QStringLiteral("%1 %2").arg(drug.key).arg(drug.chineseName.toText()));
    QCOMPARE(stored, drugs);
}

void TestExchange::brokenRowLeavesFileUntouched_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("message");
    QTest::addColumn<CsvEncoding>("encoding");
    const QByteArray good = "中文名,英文名\r\n阿莫西林,Amoxicillin\r\n";
    QTest::newRow("unknown column")
        << QByteArray("中文名,剂量\r\n阿莫西林,x\r\n") << qint64(1)
        << QStringLiteral("未知的列：“剂量”；可用的列：中文名、英文名、药物说明书、类别、规格、用量、用法、剂型")
        << CsvEncoding::Utf8;
    QTest::newRow("column twice") << QByteArray("中文名,英文名, 中文名\r\n阿莫西林,x,y\r\n") << qint64(1)
                                  << QStringLiteral("列“中文名”出现了两次") << CsvEncoding::Utf8;
    QTest::newRow("no Chinese name column") << QByteArray("英文名\r\nAspirin\r\n") << qint64(1)
                                            << QStringLiteral("表头中缺少“中文名”列") << CsvEncoding::Utf8;
    QTest::newRow("header not UTF-8") << QByteArray("中文名,\xFF\r\n阿莫西林,x\r\n") << qint64(1)
                                      << QStringLiteral("表头不是有效的 UTF-8 文本") << CsvEncoding::Utf8;
    QTest::newRow("empty file") << QByteArray() << qint64(1) << QStringLiteral("文件是空的，缺少表头")
                                << CsvEncoding::Utf8;
    QTest::newRow("blank lines only") << QByteArray("\r\n\n") << qint64(1) << QStringLiteral("文件是空的，缺少表头")
                                      << CsvEncoding::Utf8;
    QTest::newRow("missing name") << good + "  ,Aspirin\r\n"
                                  << qint64(3) << QStringLiteral("缺少中文名") << CsvEncoding::Utf8;
    QTest::newRow("too few fields") << good + "布洛芬\r\n"
                                    << qint64(3) << QStringLiteral("有 1 个字段，表头有 2 个") << CsvEncoding::Utf8;
    QTest::newRow("too many fields") << good + "布洛芬,Ibuprofen,x\r\n"
                                     << qint64(3) << QStringLiteral("有 3 个字段，表头有 2 个") << CsvEncoding::Utf8;
    QTest::newRow("quote inside field") << good + "布洛\"芬,Ibuprofen\r\n"
                                        << qint64(3) << QStringLiteral("未加引号的字段中出现了引号")
                                        << CsvEncoding::Utf8;
    QTest::newRow("text after quote") << good + "\"布洛芬\"x,Ibuprofen\r\n"
                                      << qint64(3) << QStringLiteral("右引号后面出现了多余的字符") << CsvEncoding::Utf8;
    QTest::newRow("unclosed quote") << good + "布洛芬,\"Ibuprofen\r\nmore\r\n"
                                    << qint64(3) << QStringLiteral("引号没有闭合") << CsvEncoding::Utf8;
    QTest::newRow("invalid UTF-8") << good + "\"多行\r\n名称\",ok\r\n\xE5\xB8,x\r\n"
                                   << qint64(5) << QStringLiteral("不是有效的 UTF-8 文本") << CsvEncoding::Utf8;
    QTest::newRow("bad row after many good ones")
        << good + QByteArray("布洛芬,x\r\n").repeated(500) + "x\r\n"
        << qint64(503) << QStringLiteral("有 1 个字段，表头有 2 个") << CsvEncoding::Utf8;
    QTest::newRow("GBK text read as UTF-8")
        << gb18030(good) << qint64(1)
        << QStringLiteral(
               "表头不是有效的 UTF-8 文本；整个文件是有效的 GB18030（GBK）文本，中文 Windows 上的 Excel、WPS "
               "保存的 CSV 就是这种编码")
        << CsvEncoding::Utf8;
    // Each field is decoded apart: a sequence cut off at a field's end is not finished by the next.
    QTest::newRow("GB18030: a sequence cut off at a field's end")
        << gb18030(good) + "\xB2\xBC\xC2,\xE5\xB7\xD2\r\n"
        << qint64(3) << QStringLiteral("不是有效的 GB18030 文本") << CsvEncoding::Gb18030;
    QTest::newRow("GB18030: a four-byte form beyond Unicode")
        << gb18030(good) + "\xB2\xBC\xE3\x32\x9A\x36,x\r\n"
        << qint64(3) << QStringLiteral("不是有效的 GB18030 文本") << CsvEncoding::Gb18030;
    QTest::newRow("GB18030: header") << QByteArray("\xD6\xD0\xCE\xC4\xC3\xFB,\x80\r\n") << qint64(1)
                                     << QStringLiteral("表头不是有效的 GB18030 文本") << CsvEncoding::Gb18030;
    QTest::newRow("empty header cell before a named one")
        << QByteArray("中文名,,英文名\r\n阿莫西林,,x\r\n") << qint64(1) << QStringLiteral("表头的第 2 列是空的")
        << CsvEncoding::Utf8;
    QTest::newRow("text under an empty header cell")
        << QByteArray("中文名,英文名,,\r\n阿莫西林,x,,\r\n布洛芬,y,,z\r\n") << qint64(3)
        << QStringLiteral("第 4 个字段不是空的，但表头中这一列是空的") << CsvEncoding::Utf8;
    QTest::newRow("more fields than the header's cells, empty ones included")
        << QByteArray("中文名,英文名,,\r\n阿莫西林,x,,,\r\n") << qint64(2) << QStringLiteral("有 5 个字段，表头有 4 个")
        << CsvEncoding::Utf8;
    QTest::newRow("text but no name between empty rows")
        << QByteArray("中文名,英文名,,\r\n,,,\r\n,x,,\r\n,,,\r\n") << qint64(3) << QStringLiteral("缺少中文名")
        << CsvEncoding::Utf8;
}

void TestExchange::brokenRowLeavesFileUntouched() {
    QFETCH(QByteArray, csv);
    QFETCH(qint64, line);
    QFETCH(QString, message);
    QFETCH(CsvEncoding, encoding);
    // Every row leaves the file as it was, so the rows share one (each new file costs a key derivation).
    static DrugFileFixture file;
    if (file.readAll().isEmpty())
        file.insert(QStringLiteral("已有的药"), Cell(QStringLiteral("YYDY")));
    const QByteArray before = file.bytes();
    for (const ImportMode mode : {ImportMode::Add, ImportMode::SkipExisting, ImportMode::Replace}) {
        try {
            importText(file, csv, mode, {}, encoding);
            QFAIL("a broken text was imported");
        } catch (const CsvError& error) {
            QCOMPARE(error.message(), message);
            QCOMPARE(error.line(), line);
        }
        QVERIFY(file.bytes() == before);
    }
}

void TestExchange::engineFailureKeepsTheFileAndEndsTheTransaction_data() {
    QTest::addColumn<ImportMode>("mode");
    QTest::newRow("add") << ImportMode::Add;
    QTest::newRow("skip existing") << ImportMode::SkipExisting;
    QTest::newRow("replace, after the delete") << ImportMode::Replace;
}

void TestExchange::engineFailureKeepsTheFileAndEndsTheTransaction() {
    QFETCH(ImportMode, mode);
    DrugFileFixture file;
    file.insert(QStringLiteral("已有的药"), Cell(QStringLiteral("YYDY")));
    // The engine takes the first imported drug and refuses the second, as a full disk would.
    file.connection().execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 "
                                             "WHEN NEW.%2 = '阿莫西林' BEGIN SELECT RAISE(ABORT, '满了'); END")
                                  .arg(quotedIdentifier(DrugTableName), quotedIdentifier(ChineseNameColumn)));
    const QByteArray before = file.bytes();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, importText(file, "中文名\r\n布洛芬\r\n阿莫西林\r\n", mode));
    // A transaction left open would make this one fail.
    file.connection().beginTransaction();
    file.connection().rollback();
    QVERIFY(file.bytes() == before);
    QCOMPARE(file.readAll().size(), 1);
}

void TestExchange::largeImportReportsProgress_data() {
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<QList<qint64>>("reported");
    QTest::newRow("one row short of a step") << ImportProgressStep - 1 << QList<qint64>{};
    QTest::newRow("two steps and one row")
        << 2 * ImportProgressStep + 1 << QList<qint64>{ImportProgressStep, 2 * ImportProgressStep};
}

void TestExchange::largeImportReportsProgress() {
    QFETCH(qint64, rows);
    QFETCH(QList<qint64>, reported);
    DrugFileFixture file;
    QList<qint64> done;
    const QByteArray csv = "中文名\r\n" + QByteArray("布洛芬\r\n").repeated(rows);
    QCOMPARE(importText(file, csv, ImportMode::Add,
                        [&done, rows](qint64 imported, qint64 total) {
                            QCOMPARE(total, rows);
                            done.append(imported);
                        })
                 .imported,
             rows);
    QCOMPARE(done, reported);
}

void TestExchange::exportWritesEveryColumnInKeyOrder() {
    DrugFileFixture file;
    file.insert(QStringLiteral("头孢呋辛"), Cell(QStringLiteral("TbfX")), QStringLiteral("Cefuroxime"),
                QStringLiteral("第一行，\r\n第二行, \"引号\"\n第三行"));
    file.insert(QStringLiteral("维生素B1"), Cell::null(), QStringLiteral("Vitamin B1, thiamine"));
    QCOMPARE(exportText(file), Header +
                                   "1,头孢呋辛,Cefuroxime,\"第一行，\r\n第二行, \"\"引号\"\"\n第三行\",TbfX,,,,,\r\n"
                                   "2,维生素B1,\"Vitamin B1, thiamine\",,,,,,,\r\n");
}

void TestExchange::exportOfAnEmptyFileIsTheHeader() {
    DrugFileFixture file;
    QCOMPARE(exportText(file), Header);
}

void TestExchange::exportReportsADeviceThatRefusesText_data() {
    QTest::addColumn<qint64>("room");
    QTest::newRow("header refused") << qint64(0);
    QTest::newRow("a drug refused") << qint64(Header.size() + 1);
}

void TestExchange::exportReportsADeviceThatRefusesText() {
    QFETCH(qint64, room);
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    FillingDevice device(room);
    QVERIFY(!exportDrugs(file.connection(), device));
    QCOMPARE(device.errorString(), QStringLiteral("设备已满"));
}

void TestExchange::exportImportRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("englishName");
    QTest::addColumn<QString>("leaflet");
    QTest::addColumn<bool>("withBom");
    QTest::addColumn<CsvEncoding>("encoding");
    QTest::newRow("commas, quotes, blank lines, outer spaces")
        << QStringLiteral("复方甘草片，") << QStringLiteral("Name, \"quoted\"")
        << QStringLiteral("  行一\r\n行二\r\n\r\n行四  ") << false << CsvEncoding::Utf8;
    QTest::newRow("Latin letters in the name")
        << QStringLiteral("VC片") << QStringLiteral("Vitamin C") << QStringLiteral("x") << false << CsvEncoding::Utf8;
    QTest::newRow("lone CR and lone LF") << QStringLiteral("阿莫西林") << QStringLiteral("a\rb")
                                         << QStringLiteral("c\nd") << false << CsvEncoding::Utf8;
    QTest::newRow("quotes alone") << QStringLiteral("布洛芬") << QStringLiteral("\"") << QStringLiteral("\"\"") << false
                                  << CsvEncoding::Utf8;
    QTest::newRow("leaflet longer than the reader's block")
        << QStringLiteral("头孢呋辛") << QString()
        << QStringLiteral("【用法】一日三次，\"饭后\"\r\n").repeated(CsvReader::DefaultBlockSize / 16) << false
        << CsvEncoding::Utf8;
    QTest::newRow("NUL, U+FEFF first, U+FFFE, U+FFFF, emoji, SQL characters")
        << QStringLiteral("\uFEFF甲😀") << QStringLiteral("a\0b\uFFFE\uFFFF") << QStringLiteral("50%_;--'") << false
        << CsvEncoding::Utf8;
    QTest::newRow("BOM first") << QStringLiteral("复方甘草片，") << QStringLiteral("Name, \"quoted\"")
                               << QStringLiteral("行一\r\n") << true << CsvEncoding::Utf8;
    // Every Unicode scalar value: the BMP's two-byte and four-byte forms, the private use areas
    // that GB18030 versions map differently, and the planes beyond the BMP.
    QString everyCharacter;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!QChar::isSurrogate(c))
            everyCharacter.append(QChar::fromUcs4(c));
    }
    QTest::newRow("GB18030: U+FEFF first, every Unicode character")
        << QStringLiteral("\uFEFF甲😀") << QStringLiteral("a\0b\uFFFE\uFFFF") << everyCharacter << false
        << CsvEncoding::Gb18030;
}

void TestExchange::exportImportRoundTrip() {
    QFETCH(QString, name);
    QFETCH(QString, englishName);
    QFETCH(QString, leaflet);
    QFETCH(bool, withBom);
    QFETCH(CsvEncoding, encoding);
    DrugFileFixture first;
    first.insert(name, Cell(PinyinInitials(name)), englishName, leaflet);
    first.insert(QStringLiteral("维生素B1"), Cell(QStringLiteral("WSSB")));
    const QByteArray exported = exportText(first, withBom, encoding);
    QVERIFY(exported.startsWith((withBom ? Utf8Bom : QByteArray()) +
                                (encoding == CsvEncoding::Utf8 ? Header : gb18030(Header))));

    DrugFileFixture second;
    QCOMPARE(importText(second, exported, ImportMode::Add, {}, encoding).imported, qint64(2));
    QCOMPARE(exportText(second, withBom, encoding), exported);
    const QStringList given{name, PinyinInitials(name), englishName, leaflet};
    QCOMPARE(texts(first.readAll().constFirst()), given);
    QCOMPARE(texts(second.readAll().constFirst()), given);
}

void TestExchange::checkListsWrongInitialsAndUnreachableNames() {
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("XXX")));
    file.insert(QStringLiteral("吡嗪酰胺"), Cell(QStringLiteral("bA")));
    file.insert(QStringLiteral("维生素B1"), Cell::null());
    const QString spaced = QStringLiteral("阿莫西林 胶囊 ");
    file.insert(spaced, Cell(PinyinInitials(spaced)));
    QString report;
    QTextStream stream(&report);
    QVERIFY(checkDrugs(file.connection(), stream));
    stream.flush();
    QCOMPARE(report, QStringLiteral("完整性检查：正常\n"
                                    "拼音与中文名不符的药品：2\n"
                                    "  2\t布洛芬\t存储：XXX\t应为：BLF\n"
                                    "  4\t维生素B1\t存储：（空值）\t应为：WSSB\n"
                                    "名称中有字符得不到字母的药品：\n"
                                    "  3\t吡嗪酰胺\t嗪 酰\n"
                                    "  4\t维生素B1\t1\n"
                                    "  5\t阿莫西林 胶囊 \tU+0020\n"
                                    "药品数：5\n"
                                    "名称中有字符得不到字母的药品数：3\n"
                                    "其中查找药品窗口按完整首字母能找到的药品数：3\n"));
}

void TestExchange::userDataRoundTrip_data() {
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("withBom");
    QTest::newRow("line ends, commas, quotes, beyond the BMP")
        << QStringLiteral("一日三次，饭后\n“慎用”, \"引号\"\r\n\r\n𠀀😀 ") << false;
    QTest::newRow("BOM; U+FEFF first, a lone CR, outer spaces") << QStringLiteral("\uFEFF  头孢\r不与酒同服  ") << true;
}

void TestExchange::userDataRoundTrip() {
    QFETCH(QString, note);
    QFETCH(bool, withBom);
    QTemporaryDir dir;
    UserStore first(dir.filePath(QStringLiteral("first.db")));
    const DrugNames amoxicillin{QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin, \" oral\"")};
    const DrugNames ibuprofen{QStringLiteral("布洛芬"), QString()};
    const DrugNames cefuroxime{QStringLiteral("头孢呋辛"), QStringLiteral("Cefuroxime")};
    for (const DrugNames& drug : {ibuprofen, cefuroxime, amoxicillin})
        first.setFavourite(drug, true);
    first.recordViewed(ibuprofen);
    first.setNote(cefuroxime, QStringLiteral("第一条"));
    first.setNote(ibuprofen, note);
    const QByteArray exported = userDataText(first, withBom);
    QVERIFY(exported.startsWith((withBom ? Utf8Bom : QByteArray()) + "类型,中文名,英文名,内容\r\n收藏,阿莫西林,"));

    UserStore second(dir.filePath(QStringLiteral("second.db")));
    QCOMPARE(counts(importUserText(second, exported)), (QList<qint64>{3, 0, 2, 0, 0, 0}));
    QCOMPARE(second.favourites(), first.favourites());
    QCOMPARE(second.notes().size(), 2);
    QCOMPARE(second.note(ibuprofen), note);
    QCOMPARE(second.notes().constFirst().drug, cefuroxime);
    QVERIFY(second.recent().isEmpty());
    QCOMPARE(userDataText(second, withBom), exported);
    // Again: everything is there already.
    const UserDataMerge again = importUserText(second, exported);
    QCOMPARE(counts(again), (QList<qint64>{0, 3, 0, 0, 2, 0}));
    QVERIFY(!again.changed());
    QCOMPARE(userDataText(second, withBom), exported);
}

void TestExchange::userDataMergeLosesNothing_data() {
    QTest::addColumn<QString>("there");        // the store's note; empty for none
    QTest::addColumn<QString>("imported");     // the text's note
    QTest::addColumn<QString>("kept");         // the store's note afterwards
    QTest::addColumn<QList<qint64>>("merged"); // the notes added, appended, present, empty
    QTest::newRow("no note there") << QString() << QStringLiteral("饭后服") << QStringLiteral("饭后服")
                                   << QList<qint64>{1, 0, 0, 0};
    QTest::newRow("the same note") << QStringLiteral("饭后服\n多喝水") << QStringLiteral("饭后服\n多喝水")
                                   << QStringLiteral("饭后服\n多喝水") << QList<qint64>{0, 0, 1, 0};
    QTest::newRow("held inside the note there") << QStringLiteral("早上：饭后服\n多喝水") << QStringLiteral("饭后服")
                                                << QStringLiteral("早上：饭后服\n多喝水") << QList<qint64>{0, 0, 1, 0};
    QTest::newRow("another note: appended after a blank line")
        << QStringLiteral("饭后服") << QStringLiteral("忌酒") << QStringLiteral("饭后服\n\n忌酒")
        << QList<qint64>{0, 1, 0, 0};
    QTest::newRow("the imported holds the note there: both kept")
        << QStringLiteral("饭后服") << QStringLiteral("饭后服，忌酒") << QStringLiteral("饭后服\n\n饭后服，忌酒")
        << QList<qint64>{0, 1, 0, 0};
    QTest::newRow("differs by case only")
        << QStringLiteral("Take with food") << QStringLiteral("take with food")
        << QStringLiteral("Take with food\n\ntake with food") << QList<qint64>{0, 1, 0, 0};
    QTest::newRow("an empty note takes nothing away")
        << QStringLiteral("饭后服") << QString() << QStringLiteral("饭后服") << QList<qint64>{0, 0, 0, 1};
}

void TestExchange::userDataMergeLosesNothing() {
    QFETCH(QString, there);
    QFETCH(QString, imported);
    QFETCH(QString, kept);
    QFETCH(QList<qint64>, merged);
    QTemporaryDir dir;
    UserStore store(dir.filePath(QStringLiteral("store.db")));
    const DrugNames drug{QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin")};
    const DrugNames other{QStringLiteral("阿莫西林"), QString()};
    store.setNote(drug, there);
    store.setFavourite(other, true);
    // Favourites: one there already; the new ones listed in the text's order, above it.
    QByteArray csv = "内容,类型,英文名,中文名\r\n,收藏,,青霉素\r\n,收藏,,阿莫西林\r\n,收藏,,头孢呋辛\r\n";
    csv += csvRecord(QStringList{imported, NoteKind, drug.englishName, drug.chineseName});
    QCOMPARE(counts(importUserText(store, csv)), (QList<qint64>{2, 1} + merged));
    QCOMPARE(store.note(drug), kept);
    QCOMPARE(store.note(other), QString());
    QCOMPARE(store.favourites(),
             (QList<DrugNames>{{QStringLiteral("青霉素"), QString()}, {QStringLiteral("头孢呋辛"), QString()}, other}));
}

void TestExchange::userDataRejects_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("message");
    const QByteArray good = "类型,中文名,英文名,内容\r\n收藏,阿莫西林,,\r\n";
    QTest::newRow("unknown kind") << good + "最近,布洛芬,,\r\n"
                                  << qint64(3) << QStringLiteral("未知的类型“最近”：应当是“收藏”或“笔记”");
    QTest::newRow("no kind") << good + ",布洛芬,,饭后服\r\n"
                             << qint64(3) << QStringLiteral("未知的类型“”：应当是“收藏”或“笔记”");
    QTest::newRow("missing column") << QByteArray("类型,中文名,英文名\r\n收藏,阿莫西林,\r\n") << qint64(1)
                                    << QStringLiteral("表头中缺少“内容”列");
    QTest::newRow("a drug's column") << QByteArray("类型,中文名,英文名,内容,药物说明书\r\n") << qint64(1)
                                     << QStringLiteral("未知的列：“药物说明书”；可用的列：类型、中文名、英文名、内容");
    QTest::newRow("no Chinese name") << good + "笔记, ,Aspirin,饭后服\r\n" << qint64(3) << QStringLiteral("缺少中文名");
    QTest::newRow("a favourite with text, below a multi-line note")
        << good + "笔记,布洛芬,,\"一\r\n二\"\r\n收藏,布洛芬,,饭后服\r\n"
        << qint64(5) << QStringLiteral("收藏的内容应当是空的；笔记的类型应当是“笔记”");
    QTest::newRow("invalid UTF-8") << good + "笔记,布洛芬,,\xE5\xB8\r\n"
                                   << qint64(3) << QStringLiteral("不是有效的 UTF-8 文本");
    QTest::newRow("GB18030, as Excel saves it")
        << gb18030(good) << qint64(1)
        << QStringLiteral("表头不是有效的 UTF-8 文本；整个文件是有效的 GB18030（GBK）文本，中文 Windows 上的 "
                          "Excel、WPS 保存的 CSV 就是这种编码");
}

void TestExchange::userDataRejects() {
    QFETCH(QByteArray, csv);
    QFETCH(qint64, line);
    QFETCH(QString, message);
    QBuffer buffer;
    openText(buffer, csv);
    try {
        readUserData(buffer);
        QFAIL("a bad text was read");
    } catch (const CsvError& error) {
        QCOMPARE(error.message(), message);
        QCOMPARE(error.line(), line);
    }
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
