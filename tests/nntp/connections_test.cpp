#include "nntp/connections.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/recording_handler.h"
#include "support/server_settings.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

struct Fixture {
    Ground t;
    FakeNntpServer server;
    RecordingHandler handler;
    Connections connections { { t.settings, t.log, t.clock, t.prompts, t.window } };

    explicit Fixture(const Delivery& delivery = Delivery::whole())
    {
        server.setDelivery(delivery);
        pointAtServer(t.settings, server.port(), t);
        connections.setHandler(Conn::Scan, &handler);
    }
    bool logged(const QString& text) { return t.logged(text); }
    void login(const QString& user, const QByteArray& password)
    {
        t.settings.chkAuth = 1;
        t.settings.User_Name = user;
        t.settings.password = password;
    }
};

// Lets events run while it handles the first reply, as crunching a burst does, and meanwhile
// the answer to its next command arrives.
class NestingHandler final : public ConnectionHandler {
public:
    explicit NestingHandler(Connections& c)
        : m_connections(c)
    {
    }
    void startWork() override { m_connections.SendLine(Conn::Scan, "GROUP a"); }
    void reply(const Reply& r) override
    {
        replies.append(r.statusLine);
        if (replies.size() == 1) {
            m_connections.SendLine(Conn::Scan, "GROUP b");
            QTest::qWait(300);
        }
    }
    QList<QByteArray> replies;

private:
    Connections& m_connections;
};

const QList<Delivery> kDeliveries { Delivery::whole(), Delivery::chunks(1), Delivery::chunks(3) };

const QByteArray kCapabilities = "101 Capability list:\r\nVERSION 2\r\nREADER\r\nCOMPRESS DEFLATE\r\n.\r\n";

// Offers compression and turns it on when asked.
void serveCompression(FakeNntpServer& server)
{
    server.on(QStringLiteral("CAPABILITIES")).reply(kCapabilities);
    server.on(QStringLiteral("COMPRESS DEFLATE")).reply("206 Compression active\r\n").thenCompress();
}

} // namespace

class ConnectionsTest : public QObject {
    Q_OBJECT
private slots:
    void modeReaderIsSentOnceThenLoginGoesOn()
    {
        for (const Delivery& d : kDeliveries) {
            Fixture f(d);
            f.server.on(QStringLiteral("MODE READER")).reply("201 reader mode, posting prohibited\r\n");
            f.server.on(QStringLiteral("AUTHINFO USER reader")).reply("381 password please\r\n");
            f.server.on(QStringLiteral("AUTHINFO PASS secret")).reply("281 welcome\r\n");
            f.login(QStringLiteral("reader"), "secret");
            f.connections.setModeReaderPending(Conn::Scan, true);
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QCOMPARE(
                f.server.commands(), (QStringList { "MODE READER", "CAPABILITIES", "AUTHINFO USER reader", "AUTHINFO PASS secret" }));
            QVERIFY(f.logged(QStringLiteral("Sending MODE READER request")));
            QVERIFY(f.logged(QStringLiteral("201 reader mode, posting prohibited")));
            QVERIFY(f.logged(QStringLiteral("Authinfo cleared, login complete...")));
            QVERIFY(f.connections.active(Conn::Scan));
        }
    }

    void passwordRequestWithTheGreetingIsAnsweredAtOnce()
    {
        Fixture f;
        f.server.greeting().reply("200 hello\r\n381 password required\r\n");
        // The request already came, so the answer to AUTHINFO USER is not waited for.
        f.server.on(QStringLiteral("AUTHINFO USER u")).reply(QByteArray());
        f.server.on(QStringLiteral("AUTHINFO PASS p")).reply("281 ok\r\n");
        f.login(QStringLiteral("u"), "p");
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        QCOMPARE(f.server.commands(), (QStringList { "AUTHINFO USER u", "AUTHINFO PASS p" }));
    }

    void missingUserNameGivesTheConnectionUp()
    {
        for (const Delivery& d : kDeliveries) {
            Fixture f(d);
            f.t.settings.chkAuth = 1;
            f.connections.OpenConnection(Conn::Scan);
            QTRY_COMPARE(f.t.prompts.messages.size(), 1);
            QCOMPARE(f.t.prompts.messages.first(),
                QStringLiteral("Error, server wanted username, but you have not supplied it."));
            QTRY_COMPARE(f.server.commands(), (QStringList { "CAPABILITIES", "QUIT" }));
            QCOMPARE(f.connections.state(Conn::Scan), 0);
            QVERIFY(f.logged(QStringLiteral("Connection Closed")));
            QVERIFY(!f.t.prompts.wasOpened(AppWindow::Login));
            QCOMPARE(f.handler.gaveUp, 1);
            QCOMPARE(f.handler.started, 0);
            QVERIFY(f.t.window.isEnabled(MainWindowState::Control::Scan));
        }
    }

    void missingPasswordOpensTheLoginWindow()
    {
        Fixture f;
        f.server.on(QStringLiteral("GROUP alt.test")).reply("480 authentication required\r\n");
        f.server.on(QStringLiteral("AUTHINFO USER u")).reply("381 password required\r\n");
        f.t.settings.User_Name = QStringLiteral("u");
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        // A 480 in the middle of the work goes back to authentication.
        f.connections.SendLine(Conn::Scan, "GROUP alt.test");
        QTRY_COMPARE(f.t.prompts.messages.size(), 1);
        QCOMPARE(f.t.prompts.messages.first(),
            QStringLiteral("Error, server wanted password, but you have not supplied it."));
        QVERIFY(f.t.prompts.wasOpened(AppWindow::Login));
        QTRY_COMPARE(f.server.commands(), (QStringList { "GROUP alt.test", "CAPABILITIES", "AUTHINFO USER u", "QUIT" }));
        QCOMPARE(f.connections.state(Conn::Scan), 0);
    }

    void slaveStatusThenWork()
    {
        Fixture f(Delivery::chunks(2));
        f.server.on(QStringLiteral("SLAVE")).reply("202 slave status noted\r\n");
        f.t.settings.chkSlave = 1;
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        QVERIFY(f.logged(QStringLiteral("Requesting slave status")));
        QCOMPARE(f.server.commands(), QStringList { QStringLiteral("SLAVE") });
    }

    void bytesArrivingWhileAReplyIsHandledAreNotLeftUnread()
    {
        Fixture f;
        NestingHandler nesting(f.connections);
        f.connections.setHandler(Conn::Scan, &nesting);
        f.server.on(QStringLiteral("GROUP a")).reply("211 1 1 1 a\r\n");
        f.server.on(QStringLiteral("GROUP b")).reply("211 2 2 2 b\r\n");
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(nesting.replies.size(), 2);
        QCOMPARE(nesting.replies.last(), QByteArray("211 2 2 2 b"));
    }

    void coalescedRepliesAreFramedOneByOne()
    {
        Fixture f;
        f.server.greeting().reply("200 hi\r\n").deliver(Delivery::coalesced());
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.server.connectionCount(), 1);
        f.server.push("211 3 1 3 alt.test\r\n224 data\r\n1\tsubj\r\n..dot\r\n.\r\n205 bye\r\n");
        QTRY_COMPARE(f.connections.state(Conn::Scan), 0);
        QCOMPARE(f.handler.started, 1);
        QCOMPARE(f.handler.replies, (QList<QByteArray> { "211 3 1 3 alt.test", "224 data" }));
        QVERIFY(f.logged(QStringLiteral("205 bye  (disconnected)")));
    }

    void acceptanceDropsWhatCameWithIt()
    {
        Fixture f;
        f.server.on(QStringLiteral("AUTHINFO USER u")).reply("381 more\r\n");
        f.server.on(QStringLiteral("AUTHINFO PASS p")).reply("281 ok\r\n211 stray reply\r\n");
        f.login(QStringLiteral("u"), "p");
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        QTest::qWait(30);
        QVERIFY(f.handler.replies.isEmpty());
    }

    void portDefaultsAndQuit()
    {
        Fixture f;
        f.t.settings.News_Port.clear();
        f.t.settings.News_Host = QStringLiteral("127.0.0.1");
        // Nothing listens on 119 here; only the field matters.
        f.connections.OpenConnection(Conn::Viewer);
        QCOMPARE(f.t.settings.News_Port, QStringLiteral("119"));
        f.connections.socket(Conn::Viewer).close();
        f.t.settings.News_Port.clear();
        f.t.settings.News_SSL = Encryption::Tls;
        f.connections.OpenConnection(Conn::Viewer);
        QCOMPARE(f.t.settings.News_Port, QStringLiteral("563"));
        f.connections.socket(Conn::Viewer).close();
        f.t.settings.News_SSL = Encryption::None;

        f.t.settings.News_Port = QString::number(f.server.port());
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        f.connections.QuitConnection(Conn::Scan);
        QVERIFY(!f.connections.active(Conn::Scan));
        QCOMPARE(f.connections.state(Conn::Scan), 0);
        QTRY_COMPARE(f.server.commands(), QStringList { QStringLiteral("QUIT") });
        // Our own close is not the server closing.
        QTest::qWait(20);
        QVERIFY(!f.logged(QStringLiteral("Server closed connection")));
    }

    void hostileReplyClosesTheConnection()
    {
        // Compressed, the line is a few dozen bytes on the wire: the bound is on what it inflates to.
        for (const bool compressed : { false, true }) {
            Fixture f;
            serveCompression(f.server);
            f.t.settings.chkCompress = compressed;
            f.server.on(QStringLiteral("GROUP x")).reply(QByteArray(8000, 'A'));
            f.connections.OpenConnection(Conn::Scan);
            QTRY_COMPARE(f.handler.started, 1);
            f.connections.SendLine(Conn::Scan, "GROUP x");
            QTRY_VERIFY(f.logged(QStringLiteral("Server reply line too long, connection closed")));
            QCOMPARE(f.connections.state(Conn::Scan), 0);
            QCOMPARE(f.logged(QStringLiteral("Compression on")), compressed);
        }
    }

    void compressionIsAskedForOnceAfterLoginAndRefusalsAreHarmless()
    {
        struct Case {
            const char* name;
            int setting;
            QByteArray capabilities; // empty: the server does not know the command
            QByteArray compress;
            QStringList commands;
            QString logged;
        };
        const QStringList both { "CAPABILITIES", "COMPRESS DEFLATE" };
        const QList<Case> cases {
            { "on", 1, kCapabilities, "206 go\r\n", both, "Compression on" },
            { "switched off", 0, kCapabilities, "206 go\r\n", {}, {} },
            { "not offered", 1, "101 list\r\nREADER\r\nCOMPRESS GZIP\r\n.\r\n", {}, { "CAPABILITIES" }, {} },
            { "no CAPABILITIES", 1, {}, {}, { "CAPABILITIES" }, {} },
            { "refused", 1, kCapabilities, "403 not now\r\n", both, "403 not now  (no compression)" },
        };
        for (const Case& c : cases) {
            Fixture f(Delivery::chunks(3));
            if (!c.capabilities.isEmpty())
                f.server.on(QStringLiteral("CAPABILITIES")).reply(c.capabilities);
            FakeNntpRule& compress = f.server.on(QStringLiteral("COMPRESS DEFLATE")).reply(c.compress);
            if (c.compress.startsWith("206"))
                compress.thenCompress();
            f.server.on(QStringLiteral("GROUP alt.test")).reply("211 1 1 1 alt.test\r\n");
            f.t.settings.chkCompress = c.setting;
            f.connections.OpenConnection(Conn::Scan);
            QTRY_COMPARE(f.handler.started, 1);
            f.connections.SendLine(Conn::Scan, "GROUP alt.test");
            QTRY_VERIFY2(f.handler.replies.size() == 1, c.name);
            QCOMPARE(f.handler.replies.first(), QByteArray("211 1 1 1 alt.test"));
            QVERIFY2(f.server.commands() == c.commands + QStringList { "GROUP alt.test" }, c.name);
            QVERIFY2(c.logged.isEmpty() || f.logged(c.logged), c.name);
            QVERIFY2(f.logged(QStringLiteral("Compression on")) == (c.logged == "Compression on"), c.name);
        }

        // After everything else the login does; a login repeated mid-work does not ask again.
        Fixture f;
        serveCompression(f.server);
        f.server.on(QStringLiteral("MODE READER")).reply("200 reader\r\n");
        f.server.on(QStringLiteral("AUTHINFO USER u")).reply("381 more\r\n");
        f.server.on(QStringLiteral("AUTHINFO PASS p")).reply("281 ok\r\n");
        f.server.on(QStringLiteral("SLAVE")).reply("202 noted\r\n");
        f.server.on(QStringLiteral("GROUP alt.test")).reply("480 again\r\n").once();
        f.server.on(QStringLiteral("GROUP alt.test")).reply("211 1 1 1 alt.test\r\n");
        f.login(QStringLiteral("u"), "p");
        f.t.settings.chkSlave = 1;
        f.t.settings.chkCompress = 1;
        f.connections.setModeReaderPending(Conn::Scan, true);
        f.connections.OpenConnection(Conn::Scan);
        QTRY_COMPARE(f.handler.started, 1);
        f.connections.SendLine(Conn::Scan, "GROUP alt.test");
        QTRY_COMPARE(f.handler.started, 2);
        f.connections.SendLine(Conn::Scan, "GROUP alt.test");
        QTRY_COMPARE(f.handler.replies, QList<QByteArray> { "211 1 1 1 alt.test" });
        QCOMPARE(f.server.commands(),
            (QStringList { "MODE READER", "CAPABILITIES", "AUTHINFO USER u", "AUTHINFO PASS p", "SLAVE", "CAPABILITIES",
                "COMPRESS DEFLATE", "GROUP alt.test", "AUTHINFO USER u", "AUTHINFO PASS p", "SLAVE",
                "GROUP alt.test" }));
    }
};

TW_TEST(ConnectionsTest)
#include "connections_test.moc"
