#include "support/fake_nntp_server.h"
#include "support/test_registry.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

// A bare client that keeps every read apart, so delivery shaping is visible.
struct Client {
    explicit Client(const FakeNntpServer& server)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { reads.append(socket.readAll()); });
        socket.connectToHost(QHostAddress::LocalHost, server.port());
    }
    [[nodiscard]] QByteArray all() const { return reads.join(); }
    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    QTcpSocket socket;
    QList<QByteArray> reads;
};

const QByteArray kGreeting = "200 fake news server ready\r\n";

} // namespace

class FakeNntpServerTest : public QObject {
    Q_OBJECT
private slots:
    void framesCommandsAndAnswersInOrder()
    {
        FakeNntpServer server;
        server.on("MODE READER").reply("201 no posting\r\n");
        server.onPrefix("GROUP ").reply([](const QString& c) { return "211 0 1 0 " + c.mid(6).toLatin1() + "\r\n"; });
        QSignalSpy commands(&server, &FakeNntpServer::commandReceived);
        Client client(server);
        QTRY_COMPARE(client.all(), kGreeting);

        client.send("MODE RE");
        QTest::qWait(20);
        client.send("ADER\r\nGROUP a.b\r\nGROUP c.d\r\nHELP\r\n");
        QTRY_COMPARE(commands.count(), 4);
        QCOMPARE(server.commands(), QStringList({ "MODE READER", "GROUP a.b", "GROUP c.d", "HELP" }));
        QCOMPARE(server.received(), QByteArray("MODE READER\r\nGROUP a.b\r\nGROUP c.d\r\nHELP\r\n"));
        QTRY_COMPARE(client.all(),
            kGreeting + "201 no posting\r\n211 0 1 0 a.b\r\n211 0 1 0 c.d\r\n500 command not recognized\r\n");
    }

    void greetingCanBeSilentOrHeld()
    {
        FakeNntpServer silent;
        silent.greeting().reply(QByteArray());
        Client client(silent);
        QTRY_COMPARE(silent.connectionCount(), 1);
        QTest::qWait(30);
        QVERIFY(client.reads.isEmpty());
        client.send("QUIT\r\n");
        QTRY_COMPARE(client.all(), QByteArray("500 command not recognized\r\n"));

        FakeNntpServer held;
        held.greeting().deliver(Delivery::coalesced());
        Client late(held);
        QTRY_COMPARE(held.connectionCount(), 1);
        QTest::qWait(30);
        QVERIFY(late.reads.isEmpty());
        held.push("381 password\r\n");
        QTRY_COMPARE(late.reads, QList<QByteArray>({ kGreeting + "381 password\r\n" }));
    }

    void shapesDelivery()
    {
        FakeNntpServer server;
        const QByteArray body = "224 overview follows\r\n1\tsubject\r\n.\r\n";
        server.on("XOVER 1-1").reply(body).deliver(Delivery::chunks(1));
        server.on("XOVER 2-2").reply(body).deliver(Delivery::splitAt({ 3, 10 }));
        server.setDelivery(Delivery::coalesced());
        Client client(server);
        QTRY_COMPARE(client.all(), kGreeting);

        client.reads.clear();
        client.send("XOVER 1-1\r\n");
        QTRY_COMPARE(client.all(), body);
        QCOMPARE(client.reads.size(), body.size());

        client.reads.clear();
        client.send("XOVER 2-2\r\n");
        QTRY_COMPARE(client.all(), body);
        QCOMPARE(client.reads, QList<QByteArray>({ body.left(3), body.mid(3, 7), body.mid(10) }));

        // Coalesced: nothing until the next reply, then both in one write.
        client.reads.clear();
        client.send("DATE\r\n");
        QTest::qWait(30);
        QVERIFY(client.reads.isEmpty());
        client.send("HELP\r\n");
        QTRY_COMPARE(client.reads.size(), 1);
        QCOMPARE(client.reads.first(), "500 command not recognized\r\n500 command not recognized\r\n");

        client.reads.clear();
        client.send("DATE\r\n");
        QTRY_COMPARE(server.commands().size(), 5);
        server.push("205 bye\r\n");
        QTRY_COMPARE(client.reads, QList<QByteArray>({ "500 command not recognized\r\n205 bye\r\n" }));
    }

    void delaysKeepReplyOrder()
    {
        FakeNntpServer server;
        server.on("SLOW").reply("100 slow\r\n").after(150);
        server.on("FAST").reply("100 fast\r\n");
        Client client(server);
        QTRY_COMPARE(client.all(), kGreeting);
        QElapsedTimer timer;
        timer.start();
        client.send("SLOW\r\nFAST\r\n");
        QTRY_COMPARE(client.all(), kGreeting + "100 slow\r\n100 fast\r\n");
        QVERIFY(timer.elapsed() >= 140);
    }

    void closesDropsAndStalls()
    {
        FakeNntpServer server;
        server.on("QUIT").reply("205 bye\r\n").thenClose();
        server.on("ARTICLE 1").drop();
        server.on("HEAD").stall();
        server.on("STAT").reply("223 once\r\n").once();
        QSignalSpy connected(&server, &FakeNntpServer::clientConnected);
        QSignalSpy disconnected(&server, &FakeNntpServer::clientDisconnected);

        Client quitting(server);
        QTRY_COMPARE(quitting.all(), kGreeting);
        quitting.send("STAT\r\nSTAT\r\nQUIT\r\n");
        QTRY_COMPARE(quitting.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(quitting.all(), kGreeting + "223 once\r\n500 command not recognized\r\n205 bye\r\n");

        Client dropped(server);
        QTRY_COMPARE(dropped.all(), kGreeting);
        dropped.send("ARTICLE 1\r\n");
        QTRY_COMPARE(dropped.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(dropped.all(), kGreeting);

        Client stalled(server);
        QTRY_COMPARE(stalled.all(), kGreeting);
        stalled.send("HEAD\r\nDATE\r\n");
        QTRY_COMPARE(server.commands(), QStringList({ "HEAD", "DATE" }));
        QTest::qWait(50);
        QCOMPARE(stalled.all(), kGreeting);
        server.push("garbage");
        QTRY_COMPARE(stalled.all(), kGreeting + "garbage");
        server.dropConnection();
        QTRY_COMPARE(stalled.socket.state(), QAbstractSocket::UnconnectedState);

        QCOMPARE(connected.count(), 3);
        QTRY_COMPARE(disconnected.count(), 3);
        QCOMPARE(server.commands(0), QStringList({ "STAT", "STAT", "QUIT" }));
        QCOMPARE(server.commands(1), QStringList({ "ARTICLE 1" }));
    }
};

TW_TEST(FakeNntpServerTest)
#include "fake_nntp_server_test.moc"
