#include "nntp/server_check.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

const QString kVerified = QStringLiteral("Server verified.");
const QString kUsable = QStringLiteral("  The server answers and accepted the login, so you can click Next to continue.");
const QString kAuthError = QStringLiteral("Authentication Error.  Check Username/Password...");

// A complete, well-behaved server; a case adds its own rules in front of these.
void answerEverything(FakeNntpServer& s)
{
    s.on(QStringLiteral("AUTHINFO USER reader")).reply("381 password please\r\n");
    s.on(QStringLiteral("AUTHINFO PASS secret")).reply("281 welcome\r\n");
    s.on(QStringLiteral("GROUP alt.test")).reply("211 3 1 3 alt.test\r\n");
    s.on(QStringLiteral("HEAD")).reply("221 3 <x@y> head\r\nSubject: test\r\n.\r\n");
    s.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
}

struct Fixture : Ground {
    FakeNntpServer server;
    Connections connections { { settings, log, clock, prompts, window } };
    ServerCheck check { { settings, connections, 1000 } };
    QSignalSpy marks { &check, &ServerCheck::marksShown };
    QSignalSpy finished { &check, &ServerCheck::finished };

    ServerCheck::Fields fields(bool auth) const
    {
        return { QStringLiteral(" 127.0.0.1 "), QString::number(server.port()), QStringLiteral("reader"), "secret",
            auth, true };
    }
    QList<int> markSequence() const
    {
        QList<int> out;
        for (const QList<QVariant>& m : marks)
            out << m.at(0).toInt();
        return out;
    }
};

} // namespace

class ServerCheckTest : public QObject {
    Q_OBJECT
private slots:
    void walksTheServerAndEndsCleanlyWhateverItAnswers()
    {
        struct Case {
            const char* name;
            bool auth;
            std::function<void(FakeNntpServer&)> script;
            QStringList commands;
            QList<int> marks;
            QString status;
            bool ok;
        };
        const QStringList login { "CAPABILITIES", "AUTHINFO USER reader", "AUTHINFO PASS secret" };
        const QStringList walk { "GROUP alt.test", "HEAD", "QUIT" };
        const Case cases[] = {
            { "passes", false, nullptr, walk, { 0, 1, 2, 3, 4 }, kVerified, true },
            { "logs in first when asked to", true, nullptr, login + walk, { 0, 1, 2, 3, 4 }, kVerified, true },
            { "logs in on 480", false,
                [](FakeNntpServer& s) { s.on(QStringLiteral("GROUP alt.test")).reply("480 login first\r\n").once(); },
                QStringList { "GROUP alt.test" } + login + walk, { 0, 1, 2, 3, 4 }, kVerified, true },
            { "login refused", true,
                [](FakeNntpServer& s) { s.on(QStringLiteral("AUTHINFO PASS secret")).reply("502 go away\r\n"); }, login,
                { 0, 1 }, kAuthError, false },
            // A server without the test group, or with nothing in it, still works.
            { "group refused still quits", false,
                [](FakeNntpServer& s) { s.on(QStringLiteral("GROUP alt.test")).reply("411 no such group\r\n"); },
                { "GROUP alt.test", "QUIT" }, { 0, 1 }, QStringLiteral("411 no such group") + kUsable, true },
            { "expired header still quits", false,
                [](FakeNntpServer& s) { s.on(QStringLiteral("HEAD")).reply("423 gone\r\n"); }, walk, { 0, 1, 2 },
                QStringLiteral("Article has expired") + kUsable, true },
            { "refused command", false,
                [](FakeNntpServer& s) { s.on(QStringLiteral("HEAD")).reply("500 what?\r\n"); }, walk, { 0, 1, 2 },
                QStringLiteral("500 what?"), false },
            { "closed after QUIT without 205", false, [](FakeNntpServer& s) { s.on(QStringLiteral("QUIT")).drop(); },
                walk, { 0, 1, 2, 3, 4 }, kVerified, true },
            { "silent server times out", false, [](FakeNntpServer& s) { s.on(QStringLiteral("HEAD")).stall(); },
                { "GROUP alt.test", "HEAD" }, { 0, 1, 2 },
                QStringLiteral("The server did not answer for 1 seconds.  Hit the back button and try again."), false },
        };
        for (const Case& c : cases) {
            Fixture f;
            if (c.script)
                c.script(f.server);
            answerEverything(f.server);
            f.check.start(f.fields(c.auth));
            QTRY_COMPARE_WITH_TIMEOUT(f.finished.size(), 1, 3000);
            QVERIFY2(!f.check.running(), c.name);
            QVERIFY2(f.connections.state(Conn::Assistant) == Socket::Closed, c.name);
            QTRY_COMPARE(f.server.commands(), c.commands);
            QCOMPARE(f.markSequence(), c.marks);
            QCOMPARE(f.check.status(), c.status);
            QCOMPARE(f.finished.at(0).at(0).toBool(), c.ok);
            QCOMPARE(f.check.nextEnabled(), c.ok);
            // Only a server that passed reaches the login settings.
            QCOMPARE(f.settings.News_Host, c.ok ? QStringLiteral("127.0.0.1") : QString());
            if (c.ok) {
                QCOMPARE(f.settings.News_Port, QString::number(f.server.port()));
                QCOMPARE(f.settings.User_Name, QStringLiteral("reader"));
                QCOMPARE(f.settings.password, QByteArray("secret"));
                QCOMPARE(f.settings.chkAuth, c.auth ? 1 : 0);
                QCOMPARE(f.settings.chkSavePassword, 1);
            }
        }
    }

    void connectsToItsOwnFieldsAndRestartsClean()
    {
        Fixture f;
        answerEverything(f.server);
        // The login window's server is not the one being checked.
        f.settings.News_Host = QStringLiteral("news.invalid");
        f.settings.News_Port = QStringLiteral("1");

        // An empty port is the NNTP one.
        f.check.start({ QStringLiteral("127.0.0.1"), QString(), {}, {}, false, false });
        QCOMPARE(f.check.ownServer()->port, QStringLiteral("119"));
        f.check.cancel();
        QVERIFY(!f.check.running());

        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const quint16 closedPort = gone.serverPort();
        gone.close();
        f.check.start({ QStringLiteral("127.0.0.1"), QString::number(closedPort), {}, {}, false, false });
        QTRY_COMPARE(f.finished.size(), 1);
        QVERIFY(f.check.status().startsWith(QStringLiteral("Oops.  That was not your news server.  The machine at "
                                                           "this address is refusing our connection.")));
        QVERIFY(!f.check.nextEnabled());

        // Back and Next again: a fresh check on the same connection.
        f.marks.clear();
        f.check.start(f.fields(false));
        QTRY_COMPARE(f.finished.size(), 2);
        QCOMPARE(f.check.status(), kVerified);
        QCOMPARE(f.markSequence(), (QList<int> { 0, 1, 2, 3, 4 }));
        QCOMPARE(f.settings.News_Host, QStringLiteral("127.0.0.1"));
    }
};

TW_TEST(ServerCheckTest)
#include "server_check_test.moc"
