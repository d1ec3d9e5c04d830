#include "nntp/connections.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/recording_handler.h"
#include "support/server_settings.h"
#include "support/test_certificates.h"
#include "support/test_registry.h"

#include <QSslConfiguration>
#include <QTest>

namespace {

const QByteArray kStartTlsOffered = "101 Capability list:\r\nVERSION 2\r\nREADER\r\nSTARTTLS\r\n.\r\n";

QByteArray fingerprintOf(const TestCertificate& c)
{
    return Socket::fingerprint(QSslCertificate(c.certificate));
}

struct Fixture {
    Ground t;
    FakeNntpServer server;
    RecordingHandler handler;
    Connections connections { { t.settings, t.log, t.clock, t.prompts, t.window } };

    explicit Fixture(Encryption encryption)
    {
        pointAtServer(t.settings, server.port(), t);
        t.settings.News_SSL = encryption;
        connections.setHandler(Conn::Scan, &handler);
    }
    void offerStartTls(const TestCertificate& certificate = kTestFirstCertificate)
    {
        server.useCertificate(certificate, false);
        server.on(QStringLiteral("CAPABILITIES")).reply(kStartTlsOffered);
        server.on(QStringLiteral("STARTTLS")).reply("382 Begin TLS negotiation now\r\n").thenStartTls();
    }
    void login()
    {
        t.settings.chkAuth = 1;
        t.settings.User_Name = QStringLiteral("u");
        t.settings.password = "p";
        server.on(QStringLiteral("AUTHINFO USER u")).reply("381 more\r\n");
        server.on(QStringLiteral("AUTHINFO PASS p")).reply("281 ok\r\n");
    }
    void pin(const TestCertificate& certificate)
    {
        t.settings.News_SSL_Pins.insert(
            serverKey(QStringLiteral("127.0.0.1"), server.port()), fingerprintOf(certificate));
    }
    [[nodiscard]] bool encrypted() { return connections.socket(Conn::Scan).isEncrypted(); }
};

} // namespace

class TlsTest : public QObject {
    Q_OBJECT
private slots:
    void secretsTravelOnlyInsideTlsWhereTheServerOffersIt()
    {
        {
            // A password with plain chosen: upgraded, as the server offers it.
            Fixture f(Encryption::None);
            f.offerStartTls();
            f.pin(kTestFirstCertificate);
            f.login();
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QVERIFY(f.encrypted());
            QCOMPARE(f.server.commands(),
                (QStringList { "CAPABILITIES", "STARTTLS", "AUTHINFO USER u", "AUTHINFO PASS p" }));
            QVERIFY(f.t.prompts.questions.isEmpty());
        }
        {
            // A server that asks for the password only later is upgraded then.
            Fixture f(Encryption::None);
            f.offerStartTls();
            f.pin(kTestFirstCertificate);
            f.login();
            f.t.settings.chkAuth = 0;
            f.server.on(QStringLiteral("GROUP a")).reply("480 authentication required\r\n").once();
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            f.connections.SendLine(Conn::Scan, "GROUP a");
            QTRY_COMPARE(f.handler.started, 2);
            QVERIFY(f.encrypted());
            QCOMPARE(f.server.commands(),
                (QStringList { "GROUP a", "CAPABILITIES", "STARTTLS", "AUTHINFO USER u", "AUTHINFO PASS p" }));
        }
        for (const QByteArray& capabilities : { QByteArray("500 What?\r\n"), QByteArray("480 Log in first\r\n") }) {
            // No STARTTLS to be had: plain, said once in the log.
            Fixture f(Encryption::None);
            f.server.on(QStringLiteral("CAPABILITIES")).reply(capabilities);
            f.login();
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QVERIFY(!f.encrypted());
            QCOMPARE(f.server.commands(), (QStringList { "CAPABILITIES", "AUTHINFO USER u", "AUTHINFO PASS p" }));
            QCOMPARE(f.t.logLines().filter(QStringLiteral("password is sent unencrypted")).size(), 1);
        }
        {
            // Nothing secret, nothing asked.
            Fixture f(Encryption::None);
            f.offerStartTls();
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QVERIFY(f.server.commands().isEmpty());
        }
        {
            // STARTTLS chosen but refused by the server: no plain fallback, no retry.
            Fixture f(Encryption::StartTls);
            f.server.useCertificate(kTestFirstCertificate, false);
            f.server.on(QStringLiteral("CAPABILITIES")).reply(kStartTlsOffered);
            f.server.on(QStringLiteral("STARTTLS")).reply("580 Can not initiate TLS negotiation\r\n");
            f.login();
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.gaveUp, 1);
            QCOMPARE(f.handler.started, 0);
            QCOMPARE(f.t.prompts.messages.size(), 1);
            QVERIFY(f.t.prompts.messages.first().contains(QStringLiteral("580 Can not initiate TLS negotiation")));
            QVERIFY(!f.server.commands().join(u' ').contains(QStringLiteral("AUTHINFO")));
            QCOMPARE(f.connections.state(Conn::Scan), 0);
        }
    }

    void unverifiedCertificatesAreAskedAboutAndPinned()
    {
        const QString pinnedKey = QStringLiteral("127.0.0.1:%1");
        {
            // Refused: nothing pinned, no work, the question shows who signed what.
            Fixture f(Encryption::Tls);
            f.server.useCertificate(kTestFirstCertificate, true);
            f.t.prompts.yesNoAnswers = { false };
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.gaveUp, 1);
            QCOMPARE(f.handler.started, 0);
            QCOMPARE(f.t.prompts.questions.size(), 1);
            const QString question = f.t.prompts.questions.first();
            QVERIFY(question.contains(QStringLiteral("Subject: tidewhelk test a")));
            QVERIFY(question.contains(QStringLiteral("Issuer: tidewhelk test a")));
            const QByteArray hex = fingerprintOf(kTestFirstCertificate).toUpper();
            QVERIFY(question.contains(QStringLiteral("SHA-256: ") + QString::fromLatin1(hex.left(2)) + u':'
                + QString::fromLatin1(hex.mid(2, 2))));
            QVERIFY(f.t.settings.News_SSL_Pins.isEmpty());
            QVERIFY(f.t.logged(QStringLiteral("Certificate not trusted, connection closed")));
        }
        {
            // Trusted: pinned, connected again, and the next connection asks nothing.
            Fixture f(Encryption::Tls);
            f.server.useCertificate(kTestFirstCertificate, true);
            f.t.prompts.yesNoAnswers = { true };
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QVERIFY(f.encrypted());
            QCOMPARE(
                f.t.settings.News_SSL_Pins.value(pinnedKey.arg(f.server.port())), fingerprintOf(kTestFirstCertificate));
            f.connections.CloseSocket(Conn::Scan);
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 2);
            QCOMPARE(f.t.prompts.questions.size(), 1);
        }
        {
            // A pinned certificate replaced by another is asked about again, as a change.
            Fixture f(Encryption::Tls);
            f.server.useCertificate(kTestSecondCertificate, true);
            f.pin(kTestFirstCertificate);
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.gaveUp, 1);
            QCOMPARE(f.t.prompts.questions.size(), 1);
            QVERIFY(f.t.prompts.questions.first().contains(QStringLiteral("has changed since you trusted it")));
            QCOMPARE(
                f.t.settings.News_SSL_Pins.value(pinnedKey.arg(f.server.port())), fingerprintOf(kTestFirstCertificate));
        }
        {
            // Several connections meeting one certificate ask one question.
            Fixture f(Encryption::Tls);
            f.server.useCertificate(kTestFirstCertificate, true);
            f.t.prompts.yesNoAnswers = { true };
            RecordingHandler lines[3];
            for (int i = 0; i < 3; ++i) {
                f.connections.setHandler(downloadConn(i), &lines[i]);
                QVERIFY(f.connections.OpenConnection(downloadConn(i)));
            }
            for (const RecordingHandler& line : lines)
                QTRY_COMPARE(line.started, 1);
            QCOMPARE(f.t.prompts.questions.size(), 1);
        }
        {
            // A certificate that verifies against the trusted authorities needs no question.
            const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
            QSslConfiguration trusting = saved;
            trusting.addCaCertificate(QSslCertificate(kTestFirstCertificate.certificate));
            QSslConfiguration::setDefaultConfiguration(trusting);
            Fixture f(Encryption::Tls);
            QSslConfiguration::setDefaultConfiguration(saved);
            f.server.useCertificate(kTestFirstCertificate, true);
            QVERIFY(f.connections.OpenConnection(Conn::Scan));
            QTRY_COMPARE(f.handler.started, 1);
            QVERIFY(f.t.prompts.questions.isEmpty());
        }
    }

    void failedHandshakeIsAnOrdinaryConnectionFailure()
    {
        // A plain server on the TLS port: the handshake fails and the owner restarts as usual.
        Fixture f(Encryption::Tls);
        QVERIFY(f.connections.OpenConnection(Conn::Scan));
        QTRY_COMPARE(f.handler.errors.size(), 1);
        QCOMPARE(f.handler.gaveUp, 0);
        QVERIFY(f.t.prompts.questions.isEmpty());
    }
};

TW_TEST(TlsTest)
#include "tls_test.moc"
