#include "support/articles.h"
#include "support/fake_nntp_server.h"
#include "support/server_settings.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

class AppContextTest : public QObject {
    Q_OBJECT
private slots:
    // A download broken off by the server counts down and resumes by itself with the parts it
    // still needs; Stop during the countdown calls the restart off.
    void aFailedDownloadRestartsAfterTheCountdown()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        FakeNntpServer server;
        pointAtServer(ctx.settings, server.port(), t);
        ctx.settings.chkMakeSubDirs = 0;
        ctx.settings.chkRestart500 = 1;
        ctx.settings.chkAllowRestart = 1;
        ctx.settings.Rescan_Time = 2;
        // With one connection its failure is the whole download's.
        ctx.settings.Download_Connections = 1;
        ctx.groups.ngAddGroup("alt.test");

        const QByteArray data = articles::randomBytes(20000, 9);
        const QList<QByteArray> bodies = articles::yencBodies(data, "back.bin", 2);
        ItemRecord r;
        r.key = "back.bin [xx/0000002]";
        r.totalParts = 2;
        r.groupKey = ctx.groups.ngFindKeyByGroupName("alt.test");
        server.on(QStringLiteral("GROUP alt.test")).reply("211 2 1 2 alt.test\r\n");
        for (int i = 0; i < 2; ++i) {
            const QByteArray id = "b" + QByteArray::number(i) + "@x";
            const QByteArray text
                = articles::article("back.bin (" + QByteArray::number(i + 1) + "/2)", "<" + id + ">", bodies[i]);
            r.parts.append({ " (x/2)", i + 1, id, static_cast<qint32>(bodies[i].size()) });
            const QByteArray reply = articles::articleReply(text);
            for (int drops = 0; i == 1 && drops < 2; ++drops)
                server.on(QStringLiteral("ARTICLE <%1>").arg(QLatin1String(id)))
                    .reply(reply.first(900))
                    .thenClose()
                    .once();
            server.on(QStringLiteral("ARTICLE <%1>").arg(QLatin1String(id))).reply(reply);
        }
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
        ctx.batch.AddToBatch(ctx.view.table.appendRecord(r), true);

        ctx.startDownload();
        QTRY_VERIFY(t.logged(QStringLiteral("Emergency Reconnect in 2 seconds.")));
        QVERIFY(!ctx.download.running());
        QVERIFY(ctx.window.isEnabled(MainWindowState::Control::Scan));
        ctx.stopDownload();
        ctx.scanConnection.countdownTick();
        QVERIFY(t.logged(QStringLiteral("Download restart coundown cancelled by user.")));

        ctx.startDownload();
        QTRY_VERIFY(t.logCount(QStringLiteral("Emergency Reconnect in 2 seconds.")) == 2);
        ctx.scanConnection.countdownTick();
        ctx.scanConnection.countdownTick();
        QTRY_VERIFY(!ctx.batch.hasWork());
        QCOMPARE(t.readFile(QStringLiteral("download/back.bin")), data);
        QCOMPARE(t.logCount(QStringLiteral("File saved: ")), 2);
        QVERIFY(!ctx.scanConnection.downloadRestartPending());
    }
};

TW_TEST(AppContextTest)
#include "app_context_test.moc"
