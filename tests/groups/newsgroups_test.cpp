#include "groups/newsgroups.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

// A newsgroup list on a test program folder.
struct Fixture : Ground {
    Newsgroups groups{{log, prompts, window, path(QStringLiteral("favs.txt"))}};
    QAbstractItemModelTester tester{&groups, QAbstractItemModelTester::FailureReportingMode::QtTest};

    Fixture() { settings.chkEnableLogging = 1; }

    QString cell(int row, int column) const { return groups.data(groups.index(row, column), Qt::DisplayRole).toString(); }
    QStringList names() const
    {
        QStringList out;
        for (int r = 0; r < groups.rowCount(); ++r)
            out << cell(r, Newsgroups::NameColumn);
        return out;
    }
    void addAll(const QStringList& list)
    {
        for (const QString& n : list)
            groups.ngAddGroup(n.toUtf8());
    }
};

} // namespace

class NewsgroupsTest : public QObject {
    Q_OBJECT
private slots:
    void loadsEveryFormAndSavesSixFields()
    {
        Fixture f;
        f.writeFile(QStringLiteral("favs.txt"), "alt.old,1200,False\r\n"
                                                  "alt.six, 1200 ,False,3,1000,1500\r\n"
                                                  "alt.ahead,900,True,4,100,800\r\n"
                                                  "alt.four,7,False,9\r\n");
        f.groups.ngLoadFavs();
        QCOMPARE(f.names(), (QStringList{"alt.old", "alt.six", "alt.ahead", "alt.four"}));
        QVERIFY(f.prompts.messages.isEmpty());
        // The older form gets a fresh key and shows only its read mark.
        QCOMPARE(f.groups.ngFindKeyByGroupName("alt.old"), quint8(1));
        QCOMPARE(f.cell(0, Newsgroups::LastReadColumn), QStringLiteral("1200"));
        QCOMPARE(f.cell(0, Newsgroups::UnreadColumn), QString());
        QCOMPARE(f.cell(0, Newsgroups::TotalColumn), QString());
        QCOMPARE(f.cell(1, Newsgroups::UnreadColumn), QStringLiteral("300"));
        QCOMPARE(f.cell(1, Newsgroups::TotalColumn), QStringLiteral("500"));
        QCOMPARE(f.cell(2, Newsgroups::UnreadColumn), QStringLiteral("0"));
        QVERIFY(f.groups.rowGreyed(2));
        QCOMPARE(f.groups.ngGroupNameByKey(3), QByteArray("alt.six"));
        QCOMPARE(f.groups.ngGroupNameByKey(77), QByteArray("error!"));
        QCOMPARE(f.groups.ngReadMarkByKey(3), 1200);
        QCOMPARE(f.groups.ngReadMarkByKey(77), 0);
        QCOMPARE(f.groups.ngFindKeyByGroupName("ALT.SIX"), quint8(0));
        QVERIFY(f.logLines().first().endsWith(QStringLiteral("error in ngFindKeyByGroupName")));

        f.groups.ngRebuildGroupCombo();
        QCOMPARE(f.groups.viewGroups().stringList(),
                 (QStringList{Newsgroups::kNoGroup, "alt.old", "alt.six", "alt.four"}));

        QVERIFY(f.groups.ngSaveFavs());
        QCOMPARE(f.readFile(QStringLiteral("favs.txt")), QByteArray("alt.old,1200,False,1,0,0\r\n"
                                                                      "alt.six,1200,False,3,1000,1500\r\n"
                                                                      "alt.ahead,900,True,4,100,800\r\n"
                                                                      "alt.four,7,False,9,0,0\r\n"));
    }

    void badLinesAreSkippedNotFatal()
    {
        Fixture f;
        f.writeFile(QStringLiteral("favs.txt"), "alt.one,5,False,1,1,9\r\n"
                                                  "no commas here\r\n"
                                                  "alt.two,5\r\n"
                                                  "../etc,5,False,2,1,9\r\n"
                                                  "alt.dup,5,False,1,1,9\r\n"
                                                  "alt.big,3000000000,False,300,2999999999,5000000000\r\n"
                                                  "alt.zero,1e30,False,0,1,9\r\n"
                                                  "alt.wrap,5,False,4294967303,1,9\r\n");
        f.groups.ngLoadFavs();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Error reading favs.txt, unexpected space.")});
        QCOMPARE(f.names(), (QStringList{"alt.one", "alt.dup", "alt.big", "alt.zero", "alt.wrap"}));
        // A repeated or impossible key is replaced by a free one; 0 would read as "no such group".
        QCOMPARE(f.groups.ngFindKeyByGroupName("alt.dup"), quint8(2));
        QCOMPARE(f.groups.ngFindKeyByGroupName("alt.big"), quint8(3));
        QCOMPARE(f.groups.ngFindKeyByGroupName("alt.zero"), quint8(4));
        QCOMPARE(f.groups.ngFindKeyByGroupName("alt.wrap"), quint8(5));
        QCOMPARE(f.groups.ngReadMarkByKey(4), 0);
        QCOMPARE(f.groups.ngReadMarkByKey(3), 3000000000LL);
        QCOMPARE(f.cell(2, Newsgroups::UnreadColumn), QStringLiteral("2000000000"));
        QVERIFY(f.groups.ngSaveFavs());
        QVERIFY(f.readFile(QStringLiteral("favs.txt")).contains("alt.big,3000000000,False,3,2999999999,5000000000\r\n"));
    }

    void addingDeletingAndOrdering()
    {
        Fixture f;
        f.groups.ngRebuildGroupCombo();
        f.addAll({"alt.binaries.test", " ALT.binaries.TEST ", "alt/evil", "alt.c\x01", "alt.x,y", "alt..up"});
        QCOMPARE(f.names(), QStringList{"alt.binaries.test"});
        QCOMPARE(f.prompts.messages.size(), 4);
        QCOMPARE(f.groups.viewGroups().stringList(), (QStringList{Newsgroups::kNoGroup, "alt.binaries.test"}));
        QCOMPARE(f.readFile(QStringLiteral("favs.txt")), QByteArray("alt.binaries.test,0,False,1,0,0\r\n"));
        // Deleting the only group deletes the file.
        f.groups.deleteRows({0});
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("favs.txt"))));
        QCOMPARE(f.groups.ngFindFreeKey(), quint8(2)); // deleted records keep their keys this run
        f.groups.deleteRows({});
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Error, no group selected."));

        f.addAll({"g1", "g2", "g3", "g4", "g5", "g6"});
        QCOMPARE(f.groups.moveUp({0, 2}), (QList<int>{0, 2}));
        QCOMPARE(f.names(), (QStringList{"g1", "g2", "g3", "g4", "g5", "g6"}));
        QCOMPARE(f.groups.moveUp({1, 2}), (QList<int>{0, 1}));
        QCOMPARE(f.names(), (QStringList{"g2", "g3", "g1", "g4", "g5", "g6"}));
        QCOMPARE(f.groups.moveDown({4, 5}), (QList<int>{4, 5}));
        QCOMPARE(f.groups.moveDown({3, 4}), (QList<int>{4, 5}));
        QCOMPARE(f.names(), (QStringList{"g2", "g3", "g1", "g6", "g4", "g5"}));
        f.groups.moveTop({3, 5});
        QCOMPARE(f.names(), (QStringList{"g6", "g5", "g2", "g3", "g1", "g4"}));
        QVERIFY(f.readFile(QStringLiteral("favs.txt")).startsWith("g6,"));

        f.groups.sort(Newsgroups::NameColumn, Qt::AscendingOrder);
        QCOMPARE(f.names(), (QStringList{"g1", "g2", "g3", "g4", "g5", "g6"}));
        f.groups.sort(Newsgroups::NameColumn, Qt::DescendingOrder);
        QCOMPARE(f.names().first(), QStringLiteral("g6"));
    }

    void readMarksToggleAndReset()
    {
        Fixture f;
        f.addAll({"g1"});
        const quint8 key = 1;
        f.groups.set_high_msg(key, 50, false);
        QCOMPARE(f.groups.ngReadMarkByKey(key), 0); // GROUP not accepted yet
        f.groups.groupSelected = true;

        QList<std::pair<quint8, qint64>> expired;
        QObject::connect(&f.groups, &Newsgroups::rangeArrived, [&](quint8 k, qint64 first) { expired.append({k, first}); });
        f.groups.ngUpdateRange(key, 1000, 1500);
        QCOMPARE(expired, (QList<std::pair<quint8, qint64>>{{key, 1000}}));
        QCOMPARE(f.window.progress(MainWindowState::Bar::ThisGroup).maximum, 1501);
        QCOMPARE(f.cell(0, Newsgroups::TotalColumn), QStringLiteral("00500"));

        f.groups.set_high_msg(key, 1200, false);
        QCOMPARE(f.groups.ngReadMarkByKey(key), 1200);
        QCOMPARE(f.cell(0, Newsgroups::UnreadColumn), QStringLiteral("300"));
        QCOMPARE(f.window.progress(MainWindowState::Bar::ThisGroup).value, 1201);
        f.groups.set_high_msg(key, 1100, false);
        QCOMPARE(f.groups.ngReadMarkByKey(key), 1200);
        f.groups.set_high_msg(key, 1600, false);
        QCOMPARE(f.groups.recordByKey(key)->last, 1600);
        QCOMPARE(f.cell(0, Newsgroups::UnreadColumn), QStringLiteral("0"));
        f.groups.set_high_msg(key, 1100, true);
        QCOMPARE(f.groups.ngReadMarkByKey(key), 1100);
        f.groups.set_high_msg(key, 3'000'000'000, true);
        QCOMPARE(f.cell(0, Newsgroups::UnreadColumn), QStringLiteral("0"));

        f.groups.set_high_msg(42, 1, true);
        QVERIFY(f.logLines().first().endsWith(QStringLiteral("error in set_high_msg")));

        // Reset clears the mark and waits for the next save; a toggle greys the row and saves at once.
        f.addAll({"g2"});
        f.groups.ngRebuildGroupCombo();
        f.groups.resetRows({0});
        QCOMPARE(f.groups.ngReadMarkByKey(key), 0);
        QCOMPARE(f.cell(0, Newsgroups::LastReadColumn), QString());
        QCOMPARE(f.cell(0, Newsgroups::UnreadColumn), QString());
        QVERIFY(f.readFile(QStringLiteral("favs.txt")).startsWith("g1,3000000000,False,1,1000,1600\r\n"));
        f.groups.toggleRows({0});
        QVERIFY(f.groups.rowGreyed(0));
        QCOMPARE(f.groups.viewGroups().stringList(), (QStringList{Newsgroups::kNoGroup, "g2"}));
        QVERIFY(f.readFile(QStringLiteral("favs.txt")).startsWith("g1,0,True,"));
    }
};

TW_TEST(NewsgroupsTest)
#include "newsgroups_test.moc"
