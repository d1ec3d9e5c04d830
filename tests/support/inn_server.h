#pragma once

#include "support/server_settings.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

// A private INN 2 on 127.0.0.1 started through tools/inn for end-to-end tests.
class InnServer {
public:
    InnServer();
    ~InnServer();
    InnServer(const InnServer&) = delete;
    InnServer& operator=(const InnServer&) = delete;

    // Empty when the server runs; otherwise why it could not be had (tests skip with it).
    [[nodiscard]] const QString& unavailable() const { return m_unavailable; }
    [[nodiscard]] quint16 port() const { return m_port; }
    // The reader daemon serving NNTPS; STARTTLS works on port().
    [[nodiscard]] quint16 tlsPort() const { return m_tlsPort; }
    // SHA-256 of the server's self-signed certificate, as a pin holds it.
    [[nodiscard]] QByteArray certificateFingerprint() const;
    // A script of the project's tools/ folder.
    [[nodiscard]] static QString tool(const QString& name);
    bool addGroup(const QString& group) const { return run({ QStringLiteral("newgroup"), m_dir.path(), group }); }
    // Runs "tools/inn ARGS DIR ..."; true on success.
    bool run(const QStringList& args, QByteArray* output = nullptr) const;
    // Posts what tools/make_articles.py writes for ARGS (without --out); true on success. Its
    // summary lines (GROUP, FILE) go to `summary`.
    bool postGenerated(const QStringList& args, QByteArray* summary = nullptr) const;
    // Posts a file of dot-stuffed articles, each ended by a "." line.
    bool postFile(const QString& file) const { return run({ QStringLiteral("post"), m_dir.path(), file }); }
    // Takes an article off the server; "<id>" with its brackets.
    bool cancel(const QByteArray& messageId) const;
    // Points the program at this server, which wants MODE READER first.
    void pointAt(Settings& s, const TempFolder& folder) const
    {
        pointAtServer(s, m_port, folder);
        s.chkModeReader = 1;
    }
    // The same over TLS; with pin the server's certificate is trusted as if the user had said so.
    void pointAt(Settings& s, const TempFolder& folder, Encryption encryption, bool pin = true) const
    {
        pointAt(s, folder);
        s.News_SSL = encryption;
        if (encryption == Encryption::Tls)
            s.News_Port = QString::number(m_tlsPort);
        if (pin)
            s.News_SSL_Pins.insert(serverKey(s.News_Host, s.News_Port.toUShort()), certificateFingerprint());
    }

private:
    QString m_script;
    QTemporaryDir m_dir { QStringLiteral("/tmp/twe2e.XXXXXX") };
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_unavailable;
};

// A test class whose cases share one private INN 2; each is skipped when the server cannot be had.
class InnTestCase : public QObject {
    Q_OBJECT
protected:
    std::optional<InnServer> m_inn;

private slots:
    void initTestCase()
    {
        m_inn.emplace();
        if (!m_inn->unavailable().isEmpty())
            QSKIP(qPrintable(m_inn->unavailable()));
    }
    void cleanupTestCase() { m_inn.reset(); }
};
