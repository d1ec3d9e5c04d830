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
        const auto row = [](const char* name, const char* subject, const char* key, const char* count) {
            QTest::newRow(name) << QByteArray(subject) << QByteArray(key) << QByteArray(count);
        };
        row("parenthesis", "My file.zip (1/5)", "My file.zip [xx/0000005]", "5");
        row("text after", "name (3/12) more text", "name [xx/0000012]", "12");
        row("leading zeros", "Movie.avi (001/123)", "Movie.avi [xx/0000123]", "123");
        row("bracket", "name.rar [03/12]", "name.rar [xx/0000012]", "12");
        row("bracket text after", "name [2/3] foo", "name [xx/0000003]", "3");
        row("same closer twice", "x.zip (1/2) (1/2)", "x.zip (1/2) [xx/0000002]", "2");
        row("same closer thrice", "a (1/2) (1/2) (1/2) z", "a (1/2) (1/2) [xx/0000002]", "2");
        row("smallest digit wins", "name (3/12) (2/4)", "name [xx/0000012]", "12");
        row("single part", "holiday pics - img001.jpg (1/1)", "holiday pics - img001.jpg", "1");
        row("words", "A great movie part 3 of 4", "A great movie part 3 of 4", "");
        row("no slash", "stuff (9) rest", "stuff (9) rest", "");
        row("closer twice no slash", "stuff 9) and 9) end", "stuff 9) and 9)", "");
        row("paren then bracket", "My Pics 9) [1/3]", "My Pics 9) [xx/0000003]", "3");
        row("bracket first", "[03/12] - name.rar", "(no subject?) [xx/0000012]", "12");
        row("paren first", "(03/12) - name.rar", "(no subject?) [xx/0000012]", "12");
        row("window before start", "(1/5) name", "(1/5) name", "");
        row("wide window", "my dir/ holiday 7) more", "my dir/ holiday 7)", "");
        row("wide window too early", "dir/ holiday 7) more", "dir/ holiday 7) more", "");
        row("no opening paren", "name 1/12)", "name [xx/0000012]", "12");
        row("ten-digit count", "some name x (1/1234567890)", "some name x", "");
        row("only smallest bracket", "a [1] b [2] [2] c", "a [1] b [2] [2] c", "");
        row("bracket thrice", "x [1/2] [1/2] [1/2] y", "x [1/2] [1/2] [xx/0000002]", "2");
        row("bracket without count", "a/b name [7]", "a/b name", "");
        row("short word", "hello", "hello [xx/0000000]", "hello");
        row("short cut", "5)5)", "5)5) [xx/0000005]", "5)5)");
        row("nine characters", "abcdefghi", "abcdefghi", "");
        row("short number limit", "2600", "2600 [xx/0002600]", "2600");
        row("count limit", "x (1/2600)", "x [xx/0002600]", "2600");
        row("blanks", "  My file.zip (1/5)  ", "My file.zip [xx/0000005]", "5");
        row("empty", "", "", "");
        row("8-bit", "Caf\xe9 \xff\x80 (1/3)", "Caf\xe9 \xff\x80 [xx/0000003]", "3");
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
        const auto row = [](const char* name, const char* from, const char* displayName) {
            QTest::newRow(name) << QByteArray(from) << QByteArray(displayName);
        };
        row("angle address", "<user@host>", "user");
        row("address and name", "user@host (Name Here)", "Name Here");
        row("name and address", "Name <user@host>", "Name");
        row("quoted name", "\"Quoted\" <a@b>", "Quoted");
        row("short local part", "abc@host", "abc@host");
        row("four-letter local part", "abcd@host", "abcd");
        row("short in brackets", "<abc@host>", "abc@host");
        row("no blank before address", "x<a@b>", "");
        row("unclosed address", "Name <user@host", "Name <user");
        row("plain", "plain name", "plain name");
        row("empty", "", "");
        row("8-bit", "Jos\xe9 \xff <j@h>", "Jos\xe9 \xff");
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
