#include "data/Cell.h"

#include <QtTest>

class TestCell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void conversions_data();
    void conversions();
};

void TestCell::conversions_data() {
    QTest::addColumn<Cell>("cell");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::newRow("empty") << Cell() << int(Cell::Kind::Empty) << QString() << 0.0;
    QTest::newRow("null") << Cell::null() << int(Cell::Kind::Null) << QString() << 0.0;
    QTest::newRow("text") << Cell(QStringLiteral("阿莫西林")) << int(Cell::Kind::Text) << QStringLiteral("阿莫西林")
                          << 0.0;
    QTest::newRow("numeric text") << Cell(QStringLiteral(" 42 ")) << int(Cell::Kind::Text) << QStringLiteral(" 42 ")
                                  << 42.0;
    QTest::newRow("key") << Cell(qint64(17)) << int(Cell::Kind::Number) << QStringLiteral("17") << 17.0;
    QTest::newRow("large key") << Cell(qint64(9007199254740993)) << int(Cell::Kind::Number)
                               << QStringLiteral("9007199254740993") << 9007199254740992.0;
    QTest::newRow("real") << Cell(1.5) << int(Cell::Kind::Number) << QStringLiteral("1.5") << 1.5;
}

void TestCell::conversions() {
    QFETCH(Cell, cell);
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(double, number);
    QCOMPARE(int(cell.kind()), kind);
    QCOMPARE(cell.toText(), text);
    QCOMPARE(cell.toNumber(), number);
}

QTEST_GUILESS_MAIN(TestCell)
#include "tst_cell.moc"
