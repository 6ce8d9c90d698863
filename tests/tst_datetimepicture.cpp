#include "output/datetimepicture.h"

#include <QTest>

// Date and time pictures of the grid page texts.
class TestDateTimePicture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pictures_data();
    void pictures();
};

void TestDateTimePicture::pictures_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");

    const QString us = QStringLiteral("en_US");
    const QString de = QStringLiteral("de_DE");
    QTest::newRow("day month year, US") << QStringLiteral("dd/mm/yyyy") << us << QStringLiteral("05/03/2024");
    QTest::newRow("day month year, German separator") << QStringLiteral("dd/mm/yyyy") << de << QStringLiteral("05.03.2024");
    QTest::newRow("hour and minutes") << QStringLiteral("hh:nn") << us << QStringLiteral("14:07");
    QTest::newRow("m after h is minutes") << QStringLiteral("hh:mm") << us << QStringLiteral("14:07");
    QTest::newRow("m alone is the month") << QStringLiteral("d.m.yy") << us << QStringLiteral("5.3.24");
    QTest::newRow("seconds and milliseconds") << QStringLiteral("h:n:ss.zzz") << us << QStringLiteral("14:7:09.045");
    QTest::newRow("12-hour clock") << QStringLiteral("h:nn am/pm") << us << QStringLiteral("2:07 pm");
    QTest::newRow("names") << QStringLiteral("ddd d mmm yyyy") << us << QStringLiteral("Tue 5 Mar 2024");
    QTest::newRow("quoted text stays") << QStringLiteral("'day' d \"of\" m") << us << QStringLiteral("day 5 of 3");
    QTest::newRow("other characters stay") << QStringLiteral("yyyy-mm-dd") << us << QStringLiteral("2024-03-05");
}

void TestDateTimePicture::pictures()
{
    QFETCH(QString, picture);
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9, 45));
    QCOMPARE(FormatDateTimePicture(picture, when, QLocale(locale)), expected);
}

QTEST_GUILESS_MAIN(TestDateTimePicture)
#include "tst_datetimepicture.moc"
