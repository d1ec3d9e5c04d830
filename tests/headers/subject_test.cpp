#include "app/format.h"
#include "headers/subject.h"
#include "support/test_registry.h"

#include <QTest>

class SubjectTest : public QObject {
    Q_OBJECT
private slots:
    void subjects_data()
    {
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("count");
        QTest::newRow("parenthesis") << QByteArray("My file.zip (1/5)") << QByteArray("My file.zip [xx/0000005]")
                                     << QByteArray("5");
        QTest::newRow("text after") << QByteArray("name (3/12) more text") << QByteArray("name [xx/0000012]")
                                    << QByteArray("12");
        QTest::newRow("leading zeros") << QByteArray("Movie.avi (001/123)") << QByteArray("Movie.avi [xx/0000123]")
                                       << QByteArray("123");
        QTest::newRow("bracket") << QByteArray("name.rar [03/12]") << QByteArray("name.rar [xx/0000012]")
                                 << QByteArray("12");
        QTest::newRow("bracket text after")
            << QByteArray("name [2/3] foo") << QByteArray("name [xx/0000003]") << QByteArray("3");
        QTest::newRow("same closer twice")
            << QByteArray("x.zip (1/2) (1/2)") << QByteArray("x.zip (1/2) [xx/0000002]") << QByteArray("2");
        QTest::newRow("same closer thrice")
            << QByteArray("a (1/2) (1/2) (1/2) z") << QByteArray("a (1/2) (1/2) [xx/0000002]") << QByteArray("2");
        QTest::newRow("smallest digit wins")
            << QByteArray("name (3/12) (2/4)") << QByteArray("name [xx/0000012]") << QByteArray("12");
        QTest::newRow("single part") << QByteArray("holiday pics - img001.jpg (1/1)")
                                     << QByteArray("holiday pics - img001.jpg") << QByteArray("1");
        QTest::newRow("words") << QByteArray("A great movie part 3 of 4") << QByteArray("A great movie part 3 of 4")
                               << QByteArray();
        QTest::newRow("no slash") << QByteArray("stuff (9) rest") << QByteArray("stuff (9) rest") << QByteArray();
        QTest::newRow("closer twice no slash")
            << QByteArray("stuff 9) and 9) end") << QByteArray("stuff 9) and 9)") << QByteArray();
        QTest::newRow("paren then bracket")
            << QByteArray("My Pics 9) [1/3]") << QByteArray("My Pics 9) [xx/0000003]") << QByteArray("3");
        QTest::newRow("bracket first") << QByteArray("[03/12] - name.rar") << QByteArray("(no subject?) [xx/0000012]")
                                       << QByteArray("12");
        QTest::newRow("paren first") << QByteArray("(03/12) - name.rar") << QByteArray("(no subject?) [xx/0000012]")
                                     << QByteArray("12");
        QTest::newRow("window before start") << QByteArray("(1/5) name") << QByteArray("(1/5) name") << QByteArray();
        QTest::newRow("wide window") << QByteArray("my dir/ holiday 7) more") << QByteArray("my dir/ holiday 7)")
                                     << QByteArray();
        QTest::newRow("wide window too early")
            << QByteArray("dir/ holiday 7) more") << QByteArray("dir/ holiday 7) more") << QByteArray();
        QTest::newRow("no opening paren")
            << QByteArray("name 1/12)") << QByteArray("name [xx/0000012]") << QByteArray("12");
        QTest::newRow("ten-digit count") << QByteArray("some name x (1/1234567890)") << QByteArray("some name x")
                                         << QByteArray();
        QTest::newRow("only smallest bracket")
            << QByteArray("a [1] b [2] [2] c") << QByteArray("a [1] b [2] [2] c") << QByteArray();
        QTest::newRow("bracket thrice") << QByteArray("x [1/2] [1/2] [1/2] y")
                                        << QByteArray("x [1/2] [1/2] [xx/0000002]") << QByteArray("2");
        QTest::newRow("bracket without count") << QByteArray("a/b name [7]") << QByteArray("a/b name") << QByteArray();
        QTest::newRow("short word") << QByteArray("hello") << QByteArray("hello [xx/0000000]") << QByteArray("hello");
        QTest::newRow("short cut") << QByteArray("5)5)") << QByteArray("5)5) [xx/0000005]") << QByteArray("5)5)");
        QTest::newRow("nine characters") << QByteArray("abcdefghi") << QByteArray("abcdefghi") << QByteArray();
        QTest::newRow("short number limit")
            << QByteArray("2600") << QByteArray("2600 [xx/0002600]") << QByteArray("2600");
        QTest::newRow("count limit") << QByteArray("x (1/2600)") << QByteArray("x [xx/0002600]") << QByteArray("2600");
        QTest::newRow("blanks") << QByteArray("  My file.zip (1/5)  ") << QByteArray("My file.zip [xx/0000005]")
                                << QByteArray("5");
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("8-bit") << QByteArray("Caf\xe9 \xff\x80 (1/3)") << QByteArray("Caf\xe9 \xff\x80 [xx/0000003]")
                               << QByteArray("3");
    }
    void subjects()
    {
        QFETCH(QByteArray, subject);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, count);
        SubjectAnalysis a;
        analyseSubject(subject, a);
        QVERIFY(!a.rejected);
        QCOMPARE(a.key, key);
        QCOMPARE(a.countText, count);
        QCOMPARE(a.fullSubject, subject.trimmed());
    }

    void tooManyPartsRejected()
    {
        SubjectAnalysis a;
        const auto rejection = [&](const char* subject) {
            analyseSubject(subject, a);
            return a.rejected ? a.rejectLog : QString();
        };
        QCOMPARE(rejection("x (1/3000)"), u"Invalid post filtered -- too many parts: (3000?) -- x ");
        QCOMPARE(a.countText, QByteArray("3000"));
        QVERIFY(a.key.isEmpty());
        QCOMPARE(rejection("2601"), u"Invalid post filtered -- too many parts: (2601?) -- 2601 ");
        QCOMPARE(rejection("[01/9999] - a.rar"), u"Invalid post filtered -- too many parts: (9999?) -- (no subject?)");
        QCOMPARE(rejection("Caf\xc3\xa9 (1/5000)"),
            QString::fromUtf8("Invalid post filtered -- too many parts: (5000?) -- Caf\xc3\xa9 "));
        // The same record analyses the next line cleanly.
        analyseSubject("My file.zip (2/5)", a);
        QVERIFY(!a.rejected);
        QVERIFY(a.rejectLog.isEmpty());
        QCOMPARE(a.key, QByteArray("My file.zip [xx/0000005]"));
    }

    void partsOfOnePostMeetInOneKey()
    {
        SubjectAnalysis a;
        const auto key = [&](const char* subject) {
            analyseSubject(subject, a);
            return a.key;
        };
        const QByteArray expected("name.rar [xx/0000012]");
        for (const char* s : { "name.rar (1/12)", "name.rar (01/12)", "name.rar (012/012)", "name.rar [07/12]",
                 "name.rar (11/12) yEnc" })
            QCOMPARE(key(s), expected);
        QCOMPARE(key("name.rar (1/13)"), QByteArray("name.rar [xx/0000013]"));
    }

    void fromFields_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("angle address") << QByteArray("<user@host>") << QByteArray("user");
        QTest::newRow("address and name") << QByteArray("user@host (Name Here)") << QByteArray("Name Here");
        QTest::newRow("name and address") << QByteArray("Name <user@host>") << QByteArray("Name");
        QTest::newRow("quoted name") << QByteArray("\"Quoted\" <a@b>") << QByteArray("Quoted");
        QTest::newRow("short local part") << QByteArray("abc@host") << QByteArray("abc@host");
        QTest::newRow("four-letter local part") << QByteArray("abcd@host") << QByteArray("abcd");
        QTest::newRow("short in brackets") << QByteArray("<abc@host>") << QByteArray("abc@host");
        QTest::newRow("no blank before address") << QByteArray("x<a@b>") << QByteArray();
        QTest::newRow("unclosed address") << QByteArray("Name <user@host") << QByteArray("Name <user");
        QTest::newRow("plain") << QByteArray("plain name") << QByteArray("plain name");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("8-bit") << QByteArray("Jos\xe9 \xff <j@h>") << QByteArray("Jos\xe9 \xff");
    }
    void fromFields()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, name);
        QCOMPARE(parseFrom(from), name);
    }

    void dates_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the injected current time
        const QDate dec4(2002, 12, 4);
        const QDateTime midnight(dec4, QTime(0, 0));
        const QDateTime withTime(dec4, QTime(10, 11, 12));
        QTest::newRow("day month year time") << QByteArray("04 Dec 2002 10:11:12") << withTime;
        QTest::newRow("weekday") << QByteArray("Wed, 04 Dec 2002 10:11:12") << withTime;
        QTest::newRow("zone drops time") << QByteArray("WED, 04 Dec 2002 10:11:12 GMT") << midnight;
        QTest::newRow("lower-case weekday") << QByteArray("wed, 04 Dec 2002 10:11:12 +0000") << midnight;
        QTest::newRow("long weekday") << QByteArray("Thursday, 05 Dec 2002 10:11:12") << withTime.addDays(1);
        QTest::newRow("unlisted weekday") << QByteArray("Xyz, 04 Dec 2002 10:11:12 GMT") << midnight;
        QTest::newRow("full weekday not listed") << QByteArray("Wednesday, 04 Dec 2002 10:11:12") << QDateTime();
        QTest::newRow("full month") << QByteArray("4 december 2002") << midnight;
        QTest::newRow("dashes short year") << QByteArray("04-Dec-02 23:59") << QDateTime(dec4, QTime(23, 59));
        QTest::newRow("year 49") << QByteArray("04 Dec 49") << QDateTime(QDate(2049, 12, 4), QTime(0, 0));
        QTest::newRow("year 50") << QByteArray("04 Dec 50") << QDateTime(QDate(1950, 12, 4), QTime(0, 0));
        QTest::newRow("iso") << QByteArray("2002-12-04 10:11:12") << withTime;
        QTest::newRow("month first") << QByteArray("12/04/2002 10:11") << QDateTime(dec4, QTime(10, 11));
        QTest::newRow("leap day") << QByteArray("29 Feb 2004") << QDateTime(QDate(2004, 2, 29), QTime(0, 0));
        QTest::newRow("before epoch") << QByteArray("1899-12-29 06:00") << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
        QTest::newRow("hour 25 loses the time") << QByteArray("04 Dec 2002 25:00") << midnight;
        QTest::newRow("no leap day") << QByteArray("29 Feb 1900") << QDateTime();
        QTest::newRow("31 Feb") << QByteArray("31 Feb 2002") << QDateTime();
        QTest::newRow("month 13") << QByteArray("2002-13-01") << QDateTime();
        QTest::newRow("garbage") << QByteArray("yesterday") << QDateTime();
        QTest::newRow("empty") << QByteArray() << QDateTime();
    }
    void dates()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, expected);
        const double now = 45000.5;
        QCOMPARE(ParseHeaderDate(text, now), expected.isValid() ? fmt::toOleDate(expected) : now);
    }

    void removeAllIgnoresCase()
    {
        QCOMPARE(RemoveAll("x (1/1) y(1/1)", "(1/1)"), QByteArray("x  y"));
        QCOMPARE(RemoveAll("Sample SAMPLE text sAmPlE", "sample"), QByteArray("  text "));
        QCOMPARE(RemoveAll("", "abc"), QByteArray());
        QCOMPARE(RemoveAll("abc", "abc"), QByteArray());
        QCOMPARE(RemoveAll("ABC", "abc"), QByteArray());
        QCOMPARE(RemoveAll("abc", ""), QByteArray("abc"));
        // Letters outside ASCII are compared as bytes, so UTF-8 sequences are never split.
        QCOMPARE(RemoveAll("\xe9t\xc9\xe9", "\xe9"), QByteArray("t\xc9"));
    }
};

TW_TEST(SubjectTest)
#include "subject_test.moc"
