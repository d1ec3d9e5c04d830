#include "app/format.h"
#include "headers/subject.h"
#include "support/test_registry.h"

#include <QTest>

class SubjectTest : public QObject {
    Q_OBJECT
private slots:
    void subjectsAndRejections()
    {
        // name, subject, key, count text
        const char* const rows[][4] = {
            { "parenthesis", "My file.zip (1/5)", "My file.zip [xx/0000005]", "5" },
            { "text after", "name (3/12) more text", "name [xx/0000012]", "12" },
            { "bracket", "name.rar [03/12]", "name.rar [xx/0000012]", "12" },
            { "same closer twice", "x.zip (1/2) (1/2)", "x.zip (1/2) [xx/0000002]", "2" },
            { "same closer thrice", "a (1/2) (1/2) (1/2) z", "a (1/2) (1/2) [xx/0000002]", "2" },
            { "smallest digit wins", "name (3/12) (2/4)", "name [xx/0000012]", "12" },
            { "single part", "holiday pics - img001.jpg (1/1)", "holiday pics - img001.jpg", "1" },
            { "words", "A great movie part 3 of 4", "A great movie part 3 of 4", "" },
            { "no slash", "stuff (9) rest", "stuff (9) rest", "" },
            { "closer twice no slash", "stuff 9) and 9) end", "stuff 9) and 9)", "" },
            { "paren then bracket", "My Pics 9) [1/3]", "My Pics 9) [xx/0000003]", "3" },
            { "bracket first", "[03/12] - name.rar", "(no subject?) [xx/0000012]", "12" },
            { "paren first", "(03/12) - name.rar", "(no subject?) [xx/0000012]", "12" },
            { "window before start", "(1/5) name", "(1/5) name", "" },
            { "wide window", "my dir/ holiday 7) more", "my dir/ holiday 7)", "" },
            { "wide window too early", "dir/ holiday 7) more", "dir/ holiday 7) more", "" },
            { "no opening paren", "name 1/12)", "name [xx/0000012]", "12" },
            { "ten-digit count", "some name x (1/1234567890)", "some name x", "" },
            { "only smallest bracket", "a [1] b [2] [2] c", "a [1] b [2] [2] c", "" },
            { "bracket thrice", "x [1/2] [1/2] [1/2] y", "x [1/2] [1/2] [xx/0000002]", "2" },
            { "bracket without count", "a/b name [7]", "a/b name", "" },
            { "short word", "hello", "hello [xx/0000000]", "hello" },
            { "short cut", "5)5)", "5)5) [xx/0000005]", "5)5)" },
            { "nine characters", "abcdefghi", "abcdefghi", "" },
            { "short number limit", "2600", "2600 [xx/0002600]", "2600" },
            { "count limit", "x (1/2600)", "x [xx/0002600]", "2600" },
            { "blanks", "  My file.zip (1/5)  ", "My file.zip [xx/0000005]", "5" },
            { "empty", "", "", "" },
            { "8-bit", "Caf\xe9 \xff\x80 (1/3)", "Caf\xe9 \xff\x80 [xx/0000003]", "3" },
        };
        for (const auto& row : rows) {
            SubjectAnalysis a;
            analyseSubject(row[1], a);
            QVERIFY2(!a.rejected, row[0]);
            QCOMPARE(a.key, QByteArray(row[2]));
            QCOMPARE(a.countText, QByteArray(row[3]));
            QCOMPARE(a.fullSubject, QByteArray(row[1]).trimmed());
        }

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
        // The same record analyses the next lines cleanly, and the parts of one post meet in one key.
        for (const char* subject : { "name.rar (1/12)", "name.rar (01/12)", "name.rar (012/012)", "name.rar [07/12]",
                 "name.rar (11/12) yEnc" }) {
            analyseSubject(subject, a);
            QVERIFY(!a.rejected && a.rejectLog.isEmpty());
            QCOMPARE(a.key, QByteArray("name.rar [xx/0000012]"));
        }
        analyseSubject("name.rar (1/13)", a);
        QCOMPARE(a.key, QByteArray("name.rar [xx/0000013]"));
    }

    void fromFieldsAndDates()
    {
        // case, From field, name shown
        const char* const rows[][3] = {
            { "angle address", "<user@host>", "user" },
            { "address and name", "user@host (Name Here)", "Name Here" },
            { "name and address", "Name <user@host>", "Name" },
            { "quoted name", "\"Quoted\" <a@b>", "Quoted" },
            { "short local part", "abc@host", "abc@host" },
            { "four-letter local part", "abcd@host", "abcd" },
            { "short in brackets", "<abc@host>", "abc@host" },
            { "no blank before address", "x<a@b>", "" },
            { "unclosed address", "Name <user@host", "Name <user" },
            { "plain", "plain name", "plain name" },
            { "empty", "", "" },
            { "8-bit", "Jos\xe9 \xff <j@h>", "Jos\xe9 \xff" },
        };
        for (const auto& row : rows)
            QCOMPARE(parseFrom(row[1]), QByteArray(row[2]));

        const QDate dec4(2002, 12, 4);
        const QDateTime midnight(dec4, QTime(0, 0));
        const QDateTime withTime(dec4, QTime(10, 11, 12));
        // An invalid expected time means the injected current time.
        const std::pair<const char*, QDateTime> dateRows[] = {
            { "04 Dec 2002 10:11:12", withTime }, // day month year time
            { "WED, 04 Dec 2002 10:11:12 GMT", midnight }, // zone drops time
            { "4 Dec 2002 10:11:12 +0000", midnight }, // no weekday
            { "Wed, 04 Dec 2002 10:11:12 +0000 (UTC)", withTime }, // two words after the time keep it
            { "Wed, 31 Feb 2002 10:11:12 +0000", QDateTime() }, // no such day
            { "Thursday, 05 Dec 2002 10:11:12", withTime.addDays(1) }, // long weekday
            { "Xyz, 04 Dec 2002 10:11:12 GMT", midnight }, // unlisted weekday
            { "Wednesday, 04 Dec 2002 10:11:12", QDateTime() }, // full weekday not listed
            { "4 december 2002", midnight }, // full month
            { "04-Dec-02 23:59", QDateTime(dec4, QTime(23, 59)) }, // dashes short year
            { "04 Dec 49", QDateTime(QDate(2049, 12, 4), QTime(0, 0)) }, // year 49
            { "04 Dec 50", QDateTime(QDate(1950, 12, 4), QTime(0, 0)) }, // year 50
            { "2002-12-04 10:11:12", withTime }, // iso
            { "12/04/2002 10:11", QDateTime(dec4, QTime(10, 11)) }, // month first
            { "29 Feb 2004", QDateTime(QDate(2004, 2, 29), QTime(0, 0)) }, // leap day
            { "1899-12-29 06:00", QDateTime(QDate(1899, 12, 29), QTime(6, 0)) }, // before epoch
            { "04 Dec 2002 25:00", midnight }, // hour 25 loses the time
            { "29 Feb 1900", QDateTime() }, // no leap day
            { "2002-13-01", QDateTime() }, // month 13
            { "yesterday", QDateTime() }, // garbage
            { "", QDateTime() }, // empty
        };
        const double now = 45000.5;
        for (const auto& [text, expected] : dateRows)
            QCOMPARE(ParseHeaderDate(text, now), expected.isValid() ? fmt::toOleDate(expected) : now);
    }

    void removeAll()
    {
        QCOMPARE(RemoveAll("x (1/1) y(1/1)", "(1/1)"), QByteArray("x  y"));
        QCOMPARE(RemoveAll("Sample SAMPLE text sAmPlE", "sample"), QByteArray("  text "));
        QCOMPARE(RemoveAll("ABC", "abc"), QByteArray());
        QCOMPARE(RemoveAll("abc", ""), QByteArray("abc"));
        // Letters outside ASCII are compared as bytes, so UTF-8 sequences are never split.
        QCOMPARE(RemoveAll("\xe9t\xc9\xe9", "\xe9"), QByteArray("t\xc9"));
    }
};

TW_TEST(SubjectTest)
#include "subject_test.moc"
