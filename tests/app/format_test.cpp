#include "app/format.h"
#include "support/test_registry.h"

#include <QTest>

#include <limits>

class FormatTest : public QObject {
    Q_OBJECT
private slots:
    void masks_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("expected");
        QTest::newRow("grouped whole") << 1234567.0 << "#,0" << "1,234,567";
        QTest::newRow("grouped small") << 640.0 << "#,0" << "640";
        QTest::newRow("grouped zero") << 0.0 << "#,0" << "0";
        QTest::newRow("half rounds away") << 2.5 << "#,0" << "3";
        QTest::newRow("two decimals") << 1.234 << "#,0.00" << "1.23";
        QTest::newRow("GB rounding carry") << 1.9999 << "#,0.00" << "2.00";
        QTest::newRow("one decimal") << 512.04 << "#,0.0" << "512.0";
        QTest::newRow("plain one decimal") << 0.05 << "0.0" << "0.1";
        QTest::newRow("fraction below one") << 0.25 << "#,##0.0" << "0.3";
        QTest::newRow("grouped with hashes") << 12345.67 << "###,##0.0" << "12,345.7";
        QTest::newRow("hash only integer") << 0.4 << "###,##0.0" << "0.4";
        QTest::newRow("padded") << 42.0 << "0000000" << "0000042";
        QTest::newRow("padded overflow") << 123456789.0 << "0000000" << "123456789";
        QTest::newRow("plain") << 7.5 << "0" << "8";
        QTest::newRow("negative") << -1234.5 << "#,0.0" << "-1,234.5";
        QTest::newRow("negative rounds to zero") << -0.01 << "0.0" << "0.0";
    }
    void masks()
    {
        QFETCH(double, value);
        QFETCH(QString, mask);
        QFETCH(QString, expected);
        QCOMPARE(fmt::Format(value, mask), expected);
    }

    void valIsLenient()
    {
        QCOMPARE(fmt::Val(u"123"), 123.0);
        QCOMPARE(fmt::Val(u"  1 2 3abc"), 123.0);
        QCOMPARE(fmt::Val(u"-42.5x"), -42.5);
        QCOMPARE(fmt::Val(u"abc"), 0.0);
        QCOMPARE(fmt::Val(u""), 0.0);
        QCOMPARE(fmt::Val(u"1e3"), 1000.0);
        QCOMPARE(fmt::Val(u"1e"), 1.0);
        QCOMPARE(fmt::Val(u"&HFF"), 255.0);
        QCOMPARE(fmt::Val(u"&O17"), 15.0);
        QCOMPARE(fmt::Val(u"3.2.1"), 3.2);
        QCOMPARE(fmt::Val(QByteArray("5000")), 5000.0);
    }

    void roundsHalfToEven()
    {
        QCOMPARE(fmt::roundHalfEven(2.5), 2);
        QCOMPARE(fmt::roundHalfEven(3.5), 4);
        QCOMPARE(fmt::roundHalfEven(-2.5), -2);
        QCOMPARE(fmt::roundHalfEven(2.6), 3);
    }

    void oleDatesRoundTrip()
    {
        QCOMPARE(fmt::toOleDate(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
        QCOMPARE(fmt::toOleDate(QDateTime(QDate(1900, 1, 1), QTime(12, 0))), 2.5);
        QCOMPARE(fmt::toOleDate(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
        QCOMPARE(fmt::fromOleDate(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        const QDateTime when(QDate(2026, 12, 7), QTime(23, 59, 59));
        QCOMPARE(fmt::fromOleDate(fmt::toOleDate(when)), when);
        QCOMPARE(fmt::toOleDate(when) - fmt::toOleDate(QDateTime(QDate(2026, 12, 1), QTime(23, 59, 59))), 6.0);
        // A time that rounds up to midnight moves to the next day instead of an invalid time.
        QCOMPARE(fmt::fromOleDate(2.9999999999), QDateTime(QDate(1900, 1, 2), QTime(0, 0)));
        // Dates read from files can be any bits.
        QCOMPARE(fmt::fromOleDate(2958465.5).date(), QDate(9999, 12, 31));
        QVERIFY(!fmt::fromOleDate(std::numeric_limits<double>::quiet_NaN()).isValid());
        QVERIFY(!fmt::fromOleDate(1e300).isValid());
        QVERIFY(!fmt::fromOleDate(-1e19).isValid());
    }

    void timeText() { QCOMPARE(fmt::hhmmss(QTime(7, 5, 3)), QStringLiteral("07:05:03")); }
};

TW_TEST(FormatTest)
#include "format_test.moc"
