#include "nntp/connections.h"
#include "support/inn_server.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

// Sends GROUP until told to stop, counting the round trips.
class GroupLoop final : public ConnectionHandler {
public:
    explicit GroupLoop(Connections& c)
        : m_connections(c)
    {
    }
    void startWork() override
    {
        ++started;
        m_connections.SendLine(Conn::Scan, "GROUP alt.test");
    }
    void reply(const Reply& r) override
    {
        last = r.statusLine;
        if (r.code == 211 && ++groups < wanted)
            m_connections.SendLine(Conn::Scan, "GROUP alt.test");
    }

    int started = 0;
    int groups = 0;
    int wanted = 1;
    QByteArray last;

private:
    Connections& m_connections;
};

} // namespace

class InnSessionTest : public QObject {
    Q_OBJECT
private slots:
    void loginGroupAndQuitAgainstInn()
    {
        InnServer inn;
        if (!inn.unavailable().isEmpty())
            QSKIP(qPrintable(inn.unavailable()));
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.settings.chkEnableLogging = 1;
        ctx.settings.News_Host = QStringLiteral("127.0.0.1");
        ctx.settings.News_Port = QString::number(inn.port());
        GroupLoop loop(ctx.connections);
        ctx.connections.setHandler(Conn::Scan, &loop);
        ctx.connections.setModeReaderPending(Conn::Scan, true);
        QVERIFY(ctx.connections.OpenConnection(Conn::Scan));
        QTRY_COMPARE_WITH_TIMEOUT(loop.groups, 1, 10000);
        QCOMPARE(loop.started, 1);
        QVERIFY(loop.last.startsWith("211 ") && loop.last.endsWith(" alt.test"));
        QCOMPARE(t.logCount(QStringLiteral("Sending MODE READER request")), 1);

        // Delayed-ACK stalls would cost 40 ms per round trip, 8 s in all; a busy machine stays far below.
        loop.groups = 0;
        loop.wanted = 200;
        QElapsedTimer timer;
        timer.start();
        ctx.connections.SendLine(Conn::Scan, "GROUP alt.test");
        QTRY_COMPARE_WITH_TIMEOUT(loop.groups, 200, 20000);
        const qint64 ms = timer.elapsed();
        qInfo("200 GROUP round trips took %lld ms", ms);
        QVERIFY2(ms < 4000, qPrintable(QStringLiteral("%1 ms").arg(ms)));

        ctx.connections.QuitConnection(Conn::Scan);
        QCOMPARE(ctx.connections.state(Conn::Scan), 0);
        QVERIFY(ctx.log.entries().stringList().first().endsWith(QStringLiteral("Connection Closed")));
    }
};

TW_TEST(InnSessionTest)
#include "inn_session_test.moc"
