#include "app/format.h"
#include "support/test_registry.h"

#include <QTest>

#include <limits>

class FormatTest : public QObject {
    Q_OBJECT
private slots:
    void masks()
    {
        const struct {
            double value;
            const char16_t* mask;
            const char16_t* expected;
        } rows[] = {
            { 1234567.0, u"#,0", u"1,234,567" }, // grouped whole
            { 640.0, u"#,0", u"640" }, // grouped small
            { 0.0, u"#,0", u"0" }, // grouped zero
            { 2.5, u"#,0", u"3" }, // half rounds away
            { 1.234, u"#,0.00", u"1.23" }, // two decimals
            { 1.9999, u"#,0.00", u"2.00" }, // GB rounding carry
            { 512.04, u"#,0.0", u"512.0" }, // one decimal
            { 0.05, u"0.0", u"0.1" }, // plain one decimal
            { 0.25, u"#,##0.0", u"0.3" }, // fraction below one
            { 12345.67, u"###,##0.0", u"12,345.7" }, // grouped with hashes
            { 0.4, u"###,##0.0", u"0.4" }, // hash only integer
            { 42.0, u"0000000", u"0000042" }, // padded
            { 123456789.0, u"0000000", u"123456789" }, // padded overflow
            { 7.5, u"0", u"8" }, // plain
            { -1234.5, u"#,0.0", u"-1,234.5" }, // negative
            { -0.01, u"0.0", u"0.0" }, // negative rounds to zero
        };
        for (const auto& row : rows)
            QCOMPARE(fmt::Format(row.value, row.mask), QString::fromUtf16(row.expected));
        // Unlike the masks, whole-number rounding goes half to even.
        QCOMPARE(fmt::roundHalfEven(3.5), 4);
        QCOMPARE(fmt::roundHalfEven(-2.5), -2);
    }

    void valIsLenient()
    {
        QCOMPARE(fmt::Val(u"  1 2 3abc"), 123.0);
        QCOMPARE(fmt::Val(u"-42.5x"), -42.5);
        QCOMPARE(fmt::Val(u"abc"), 0.0);
        QCOMPARE(fmt::Val(u""), 0.0);
        QCOMPARE(fmt::Val(u"1e3"), 1000.0);
        QCOMPARE(fmt::Val(u"1e"), 1.0);
        QCOMPARE(fmt::Val(u"&HFF"), 255.0);
        QCOMPARE(fmt::Val(u"&O17"), 15.0);
        QCOMPARE(fmt::Val(u"&H10000000000000064"), 18446744073709551716.0);
        QCOMPARE(fmt::Val(u"3.2.1"), 3.2);
        QCOMPARE(fmt::Val(QByteArray("5000")), 5000.0);
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
        QCOMPARE(fmt::hhmmss(QTime(7, 5, 3)), QStringLiteral("07:05:03"));
    }
};

TW_TEST(FormatTest)
#include "format_test.moc"
