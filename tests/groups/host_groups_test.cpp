#include "groups/host_groups.h"
#include "groups/newsgroups.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/server_settings.h"
#include "support/test_registry.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

namespace {

using Control = HostGroups::Control;

// The group manager with its connection and newsgroup list on a test program folder.
struct Fixture : Ground {
    FakeNntpServer server;
    Connections connections { { settings, log, clock, prompts, window } };
    Newsgroups groups { { log, prompts, window, path(QStringLiteral("favs.txt")) } };
    std::function<void()> onYield;
    HostGroups host { { settings, log, prompts, clock, connections, groups,
        [this] {
            if (onYield)
                onYield();
        },
        path(QStringLiteral("HOSTGRPS.TXT")) } };
    QAbstractItemModelTester tester { &host.model(), QAbstractItemModelTester::FailureReportingMode::QtTest };

    explicit Fixture(const Delivery& delivery = Delivery::whole())
    {
        server.setDelivery(delivery);
        pointAtServer(settings, server.port(), *this);
    }
    QByteArray file() const { return readFile(QStringLiteral("HOSTGRPS.TXT")); }
    void load(const QByteArray& text)
    {
        writeFile(QStringLiteral("HOSTGRPS.TXT"), text);
        host.LoadHostGroupFile();
    }
    QStringList rows()
    {
        QStringList out;
        for (int r = 0; r < host.model().rowCount(); ++r)
            out << host.model().index(r, HostGroupModel::NameColumn).data().toString();
        return out;
    }
    bool usable() const
    {
        for (Control c :
            { Control::Retrieve, Control::Reload, Control::SearchText, Control::SearchType, Control::Search })
            if (!host.isEnabled(c))
                return false;
        return !host.downloading();
    }
};

// "group.N high low y" lines in the server's padded form.
QByteArray generatedList(int count)
{
    QByteArray out = "215 Newsgroups in form \"group high low flags\".\r\n";
    for (int i = 0; i < count; ++i)
        out += QByteArray("group.") + QByteArray::number(i) + (i % 3 ? ".misc " : ".binaries ")
            + QByteArray::number(i * 7).rightJustified(10, '0') + ' ' + QByteArray::number(i).rightJustified(10, '0')
            + " y\r\n";
    return out + ".\r\n";
}

const QByteArray kSmallList = "215 list follows\r\n"
                              "alt.binaries.test 0000000010 0000000001 y\r\n"
                              "alt.binaries.tv 0000000005 0000000001 y\r\n"
                              "Alt.binaries.caps 3 1 y\r\n"
                              "misc.test 1234 1 y\r\n"
                              "alt.bin 0000000099 0000000001 y\r\n"
                              ".\r\n";

} // namespace

class HostGroupsTest : public QObject {
    Q_OBJECT
private slots:
    void listLinesAreIndexedAndOthersSkipped()
    {
        HostGroupList list;
        list.setText("215 Newsgroups in form \"group high low flags\".\r\n"
                     "alt.binaries.test 0000000023 0000000001 y\r\n"
                     "alt.empty 0000000000 0000000001 y\r\n"
                     "..dotted 5 1 y\r\n"
                     "  alt.padded\t\t12  3 m\r\n"
                     "alt.big 9223372036854775807 3000000000 y\r\n"
                     "alt.over 9223372036854775808 1 y\r\n"
                     "alt.words high low y\r\n"
                     "alt.short 5\r\n"
                     "alt.c\x01trl 5 1 y\r\n"
                     "\r\n"
                     "alt.lf 7 2 n\n"
                     ".\r\n"
                     "after.end 1 1 y\r\n");
        struct Row {
            const char* name;
            const char* high;
            const char* low;
            qint64 total;
        };
        const Row expected[] = { { "alt.binaries.test", "0000000023", "0000000001", 22 },
            { "alt.empty", "0000000000", "0000000001", -1 }, { ".dotted", "5", "1", 4 }, { "alt.padded", "12", "3", 9 },
            { "alt.big", "9223372036854775807", "3000000000", 9223372036854775807LL - 3000000000LL },
            { "alt.lf", "7", "2", 5 } };
        QCOMPARE(list.size(), qsizetype(std::size(expected)));
        for (qsizetype i = 0; i < list.size(); ++i) {
            const Row& r = expected[i];
            QCOMPARE(list.name(i), QByteArrayView(r.name));
            QCOMPARE(list.highText(i), QByteArrayView(r.high));
            QCOMPARE(list.lowText(i), QByteArrayView(r.low));
            QCOMPARE(list.total(i), r.total);
        }
        QCOMPARE(list.skippedLines(), qsizetype(4));

        // Stored as the server sent it: a body line beginning with a dot carries one more.
        const QByteArray wire = listReplyBytes("215 list", "alt.a 1 1 y\r\n.dot 2 1 y\r\n");
        QCOMPARE(wire, QByteArray("215 list\r\nalt.a 1 1 y\r\n..dot 2 1 y\r\n.\r\n"));
        list.setText(wire);
        QCOMPARE(list.name(1), QByteArrayView(".dot"));
    }

    void searchLooksAtNamesOnly()
    {
        HostGroupList list;
        list.setText(kSmallList);
        struct Case {
            HostSearchType type;
            const char* query;
            QList<quint32> hits;
        };
        using T = HostSearchType;
        const Case cases[] = {
            { T::StartsWith, "alt.binaries.", { 0, 1 } },
            { T::StartsWith, "ALT.binaries.", {} },
            { T::Contains, "test", { 0, 3 } },
            { T::Contains, "123", {} }, // only in a number
            { T::StartsWith, "alt.bin ", { 4 } }, // a blank asks for the whole name
            { T::Contains, "bin ", { 4 } },
            { T::Contains, "s.t", { 0, 1 } },
            { T::Contains, "", { 0, 1, 2, 3, 4 } },
        };
        for (const Case& c : cases) {
            const std::vector<quint32> hits = list.search(c.query, c.type);
            QVERIFY2(QList<quint32>(hits.begin(), hits.end()) == c.hits, c.query);
        }

        // Across many groups both ways agree with a look at every name.
        list.setText(generatedList(40'000));
        for (const char* query : { "7", "1.b", "99.misc ", "group.3999", "s 0" }) {
            for (T type : { T::StartsWith, T::Contains }) {
                std::vector<quint32> expected;
                for (qsizetype i = 0; i < list.size(); ++i) {
                    const QByteArray name = list.name(i).toByteArray() + ' ';
                    if (type == T::StartsWith ? name.startsWith(query) : name.contains(query))
                        expected.push_back(static_cast<quint32>(i));
                }
                QVERIFY2(list.search(query, type) == expected, query);
            }
        }
    }

    void resultListShowsTotalsAndSortsByValue()
    {
        const std::pair<qint64, const char*> totals[]
            = { { -1, " ? " }, { 0, "00000" }, { 42, "00042" }, { 99999, "99999" }, { 100000, "99999+" } };
        for (const auto& [total, text] : totals)
            QCOMPARE(HostGroupModel::totalText(total), QString::fromLatin1(text));

        Fixture f;
        f.load(kSmallList);
        f.host.SearchHostGroups("alt.", HostSearchType::StartsWith, {});
        QCOMPARE(f.rows(), (QStringList { "alt.binaries.test", "alt.binaries.tv", "alt.bin" }));
        QCOMPARE(f.host.model().index(0, HostGroupModel::FirstColumn).data().toString(), QStringLiteral("0000000001"));
        QCOMPARE(f.host.model().index(0, HostGroupModel::LastColumn).data().toString(), QStringLiteral("0000000010"));
        QItemSelectionModel selection(&f.host.model());
        selection.select(f.host.model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.host.model().sort(HostGroupModel::TotalColumn, Qt::DescendingOrder);
        QCOMPARE(f.rows(), (QStringList { "alt.bin", "alt.binaries.test", "alt.binaries.tv" }));
        QCOMPARE(selection.selectedRows().value(0).row(), 2); // the selection stays with its group
        f.host.model().sort(HostGroupModel::NameColumn, Qt::AscendingOrder);
        QCOMPARE(f.rows(), (QStringList { "alt.bin", "alt.binaries.test", "alt.binaries.tv" }));
    }

    void downloadStoresTheReplyAsReceived()
    {
        // The stuffed line and the terminator arrive split across reads.
        for (const Delivery& d : { Delivery::whole(), Delivery::chunks(97) }) {
            Fixture f(d);
            QByteArray reply = generatedList(60);
            reply.insert(reply.indexOf("group.1."), "..dotted 0000000002 0000000001 y\r\n");
            f.server.on(QStringLiteral("LIST")).reply(reply.chopped(2)).once();
            f.server.on(QStringLiteral("LIST")).reply("215 list\r\nalt.a 1 1 y\r\n.\r\n");
            f.writeFile(QStringLiteral("HOSTGRPS.TXT"), "old");
            f.prompts.yesNoAnswers = { true };
            QSignalSpy downloaded(&f.host, &HostGroups::listDownloaded);
            f.host.RetrieveHostGroups();
            QCOMPARE(f.prompts.questions.value(0),
                QStringLiteral("Ok to delete existing HOSTGRPS.TXT? \r\r Answer no "
                               "to abort if you want to back up the file first."));
            QVERIFY(!f.host.isEnabled(Control::Retrieve));
            QTRY_VERIFY(f.host.status(0).endsWith(QStringLiteral(" bytes received"))
                && f.host.status(0).contains(QByteArray::number(reply.size() - 2 - reply.indexOf('\n') - 1)));
            QTest::qWait(20);
            QCOMPARE(downloaded.size(), 0);
            QCOMPARE(f.file(), QByteArray("old"));
            f.server.push("\r\n");
            QTRY_COMPARE(downloaded.size(), 1);
            QCOMPARE(f.file(), reply);
            const QString done
                = QStringLiteral("HOSTGRPS.TXT (%1 Kb) Saved and ready.").arg(qRound(reply.size() / 1024.0));
            QCOMPARE(f.host.status(0), QStringLiteral("Download complete!  ") + done);
            QVERIFY(f.logged(QStringLiteral("Groups download complete: ") + done));
            QVERIFY(f.usable() && f.host.hostListDownloaded());
            QTRY_COMPARE(f.server.commands(), (QStringList { "LIST", "QUIT" }));
            // What arrived can be searched without a reload.
            f.host.SearchHostGroups(".dot", HostSearchType::StartsWith, {});
            QCOMPARE(f.rows(), QStringList { ".dotted" });
            QCOMPARE(f.host.list().size(), 61);
            // A list under a kilobyte still says its size.
            f.prompts.yesNoAnswers = { true };
            f.host.RetrieveHostGroups();
            QTRY_COMPARE(downloaded.size(), 2);
            QCOMPARE(f.host.status(0), QStringLiteral("Download complete!  HOSTGRPS.TXT (0 Kb) Saved and ready."));
        }

        // "No" keeps the old file and never connects.
        Fixture f;
        f.writeFile(QStringLiteral("HOSTGRPS.TXT"), "old");
        f.host.RetrieveHostGroups();
        QTest::qWait(50);
        QCOMPARE(f.server.connectionCount(), 0);
        QCOMPARE(f.file(), QByteArray("old"));
        QVERIFY(f.host.isEnabled(Control::Retrieve));
    }

    void everyFailureKeepsTheOldFileAndFreesTheWindow()
    {
        struct Case {
            const char* what;
            std::function<void(Fixture&)> script;
            const char* status;
            const char* message;
        };
        const Case cases[] = {
            { "error reply to LIST",
                [](Fixture& f) { f.server.on(QStringLiteral("LIST")).reply("503 program fault\r\n"); },
                "Error: 503 program fault", nullptr },
            { "closed mid-list",
                [](Fixture& f) {
                    f.server.on(QStringLiteral("LIST")).reply("215 list\r\nalt.a 1 1 y\r\n").thenClose();
                },
                "Error: The server closed the connection.", nullptr },
            { "closing reply", [](Fixture& f) { f.server.on(QStringLiteral("LIST")).reply("205 bye\r\n"); },
                "Error: The server closed the connection.", nullptr },
            { "permission denied",
                [](Fixture& f) { f.server.on(QStringLiteral("LIST")).reply("502 no permission\r\n"); }, "",
                "Authentication Error.  Check Username/Password..." },
            { "login error", [](Fixture& f) { f.server.greeting().reply("500 what?\r\n"); },
                "Login Error, setup login from scan window", nullptr },
            { "no user name", [](Fixture& f) { f.settings.chkAuth = 1; }, "",
                "Error, server wanted username, but you have not supplied it." },
            { "no server", [](Fixture& f) { f.settings.News_Host.clear(); }, "",
                "Enter News Server name by pressing SCAN on main screen, and then try again.\r\r  This is usually "
                "'news.(hostname).net' or something similar.  Contact your system admin if you are unsure." },
            { "refused",
                [](Fixture& f) {
                    FakeNntpServer gone;
                    f.settings.News_Port = QString::number(gone.port());
                },
                "Error: Connection refused", nullptr },
        };
        for (const Case& c : cases) {
            Fixture f;
            f.load(kSmallList);
            f.prompts.yesNoAnswers = { true };
            c.script(f);
            f.host.RetrieveHostGroups();
            QTRY_VERIFY2(!f.host.downloading(), c.what);
            QVERIFY2(f.usable(), c.what);
            QVERIFY2(f.host.status(0) == QLatin1String(c.status), qPrintable(f.host.status(0)));
            QVERIFY2(f.prompts.messages == (c.message ? QStringList { QString::fromLatin1(c.message) } : QStringList()),
                c.what);
            QVERIFY2(f.file() == kSmallList, c.what);
            QCOMPARE(f.host.list().size(), 5);
        }
    }

    void searchButtonFilterAbortAndAdd()
    {
        Fixture f;
        f.load(kSmallList);
        QCOMPARE(f.host.status(0), QStringLiteral("HOSTGRPS.TXT ready; .2 kb "));
        f.host.SearchButton({}, HostSearchType::Contains, {});
        QCOMPARE(f.prompts.messages.value(0),
            QStringLiteral("Enter some text and press search to find groups.\r\n\r\n...or click 'starts with' and "
                           "search for group trees like 'alt.binaries.'"));
        QCOMPARE(f.host.model().rowCount(), 0);

        // The count is of names that match; the filter only thins the list.
        f.host.SearchButton("alt", HostSearchType::Contains, { true, 8 });
        QCOMPARE(f.rows(), (QStringList { "alt.binaries.test", "alt.bin" }));
        QCOMPARE(f.host.status(0), QStringLiteral("Done! (3 matching groups found)  Time: Less than 1 second"));
        QVERIFY(f.usable() && f.host.isEnabled(Control::Add));

        f.host.AddSelections({});
        QCOMPARE(f.host.status(0), QStringLiteral("Error, no group(s) selected."));
        f.host.AddSelections({ 0, 1 });
        QCOMPARE(f.groups.groupCount(), 2);
        QCOMPARE(f.groups.ngGroupNameByKey(2), QByteArray("alt.bin"));
        QCOMPARE(f.host.model().index(1, 0).data(HostGroupModel::IconRole).toInt(), 2);
        QVERIFY(f.readFile(QStringLiteral("favs.txt")).startsWith("alt.binaries.test,"));

        // Stop Search, pressed while the search lets events run, ends it early; the assistant is
        // kept out meanwhile.
        f.load(generatedList(200'000));
        f.host.setAssistantDriven(true);
        QSignalSpy locks(&f.host, &HostGroups::assistantButtonsEnabled);
        QSignalSpy mirrored(&f.host, &HostGroups::assistantStatus);
        f.onYield = [&f] {
            f.clock.advance(1500);
            f.host.SearchButton("group", HostSearchType::StartsWith, {});
        };
        f.host.SearchButton("group", HostSearchType::StartsWith, {});
        QVERIFY(f.host.status(0).startsWith(QStringLiteral("Search Aborted. (")));
        QVERIFY(f.host.status(0).endsWith(QStringLiteral("matching groups found)  Time:1 seconds")));
        QCOMPARE(f.host.model().rowCount(), int(HostGroupList::kSearchStride));
        QCOMPARE(locks.size(), 2);
        QVERIFY(!locks.first().first().toBool() && locks.last().first().toBool());
        QCOMPARE(mirrored.last().first().toString(), f.host.status(0));
        QVERIFY(f.usable());
    }
};

TW_TEST(HostGroupsTest)
#include "host_groups_test.moc"
