#include "data/splitpiece.h"

#include <QtTest>

class TestSplitPiece : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pieces_data();
    void pieces();
};

void TestSplitPiece::pieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("trimmed");

    QTest::newRow("middle word") << "a b c" << " " << 1 << "b" << "b";
    QTest::newRow("first") << "a b c" << " " << 0 << "a" << "a";
    QTest::newRow("last") << "a b c" << " " << 2 << "c" << "c";
    QTest::newRow("past the end") << "a b c" << " " << 5 << "" << "";
    QTest::newRow("just past the last") << "a b c" << " " << 3 << "" << "";
    QTest::newRow("blanks kept, then trimmed") << "x; y ;z" << ";" << 1 << " y " << "y";
    QTest::newRow("control characters trimmed") << "x;\r\n\tselect 1\r\n;z" << ";" << 1
                                               << "\r\n\tselect 1\r\n" << "select 1";
    QTest::newRow("empty piece between separators") << "a;;b" << ";" << 1 << "" << "";
    QTest::newRow("piece after an empty one") << "a;;b" << ";" << 2 << "b" << "b";
    QTest::newRow("trailing separator adds no piece") << "a;" << ";" << 1 << "" << "";
    QTest::newRow("no separator in text") << "abc" << ";" << 0 << "abc" << "abc";
    QTest::newRow("empty text") << "" << ";" << 0 << "" << "";
    QTest::newRow("separator of two characters") << "db..tbl..x" << ".." << 1 << "tbl" << "tbl";
    QTest::newRow("quoted fragment of an error text")
        << "Table 'shop.orders' doesn't exist" << "'" << 1 << "shop.orders" << "shop.orders";
    QTest::newRow("negative index") << "a;b" << ";" << -1 << "" << "";
    QTest::newRow("accented blank-free text kept") << " \u00e9t\u00e9 " << ";" << 0 << " \u00e9t\u00e9 " << "\u00e9t\u00e9";
}

void TestSplitPiece::pieces()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(int, k);
    QFETCH(QString, piece);
    QFETCH(QString, trimmed);

    QCOMPARE(SplitPiece(text, separator, k), piece);
    QCOMPARE(SplitPieceTrimmed(text, separator, k), trimmed);
}

QTEST_GUILESS_MAIN(TestSplitPiece)
#include "tst_splitpiece.moc"
