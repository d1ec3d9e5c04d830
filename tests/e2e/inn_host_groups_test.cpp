#include "support/inn_server.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

#include <optional>

// The group manager against a private INN 2: LIST fills it, and a group chosen there is scanned.
class InnHostGroupsTest : public InnTestCase {
    Q_OBJECT

private slots:

    void listFillsTheManagerAndAChosenGroupIsScanned()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        m_inn->pointAt(ctx.settings, t);
        HostGroups& host = ctx.hostGroups;

        host.RetrieveHostGroups();
        QTRY_VERIFY_WITH_TIMEOUT(host.hostListDownloaded(), 15000);
        const QByteArray file = t.readFile(QString::fromLatin1(HostGroups::kFileName));
        QVERIFY(file.startsWith("215 ") && file.endsWith("\r\n.\r\n"));
        QVERIFY(host.status(0).startsWith(QStringLiteral("Download complete!  HOSTGRPS.TXT (")));

        host.SearchButton("alt.", HostSearchType::StartsWith, {});
        QCOMPARE(host.model().rowCount(), 2);
        const int row = host.model().groupName(0) == "alt.test" ? 0 : 1;
        QCOMPARE(host.model().groupName(row), QByteArray("alt.test"));
        host.AddSelections({ row });
        const quint8 key = ctx.groups.ngFindKeyByGroupName("alt.test");
        QVERIFY(key != 0);

        QVERIFY(m_inn->postGenerated(
            { "--group", "alt.test", "--binaries", "1", "--parts", "2", "--text", "1", "--seed", "5" }));
        ctx.scanConnection.StartScan();
        QTRY_VERIFY_WITH_TIMEOUT(t.logCount(QStringLiteral("Scan Complete.")) > 0, 30000);
        QCOMPARE(ctx.groups.ngReadMarkByKey(key), 3);
        QVERIFY(t.logged(QStringLiteral("3 new articles in alt.test")));
    }
};

TW_TEST(InnHostGroupsTest)
#include "inn_host_groups_test.moc"
