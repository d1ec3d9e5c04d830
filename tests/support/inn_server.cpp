#include "support/inn_server.h"

#include "nntp/socket.h"

#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {
constexpr int kScriptTimeoutMs = 180'000;
}

InnServer::InnServer()
    : m_script(QStringLiteral(TW_SOURCE_DIR "/tools/inn"))
{
    if (::geteuid() != 0) {
        m_unavailable = QStringLiteral("INN 2 runs as user news and needs root to start");
        return;
    }
    if (!QFile::exists(QStringLiteral("/usr/lib/news/bin/innd"))) {
        m_unavailable = QStringLiteral("inn2 is not installed (tools/inn install)");
        return;
    }
    QByteArray out;
    if (!run({QStringLiteral("start"), m_dir.path(), QStringLiteral("alt.binaries.test"), QStringLiteral("alt.test")},
             &out)) {
        m_unavailable = QStringLiteral("tools/inn start failed: ") + QString::fromUtf8(out.right(400));
        return;
    }
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("PORT="))
            m_port = static_cast<quint16>(line.mid(5).trimmed().toUInt());
        else if (line.startsWith("TLS_PORT="))
            m_tlsPort = static_cast<quint16>(line.mid(9).trimmed().toUInt());
    }
    if (m_port == 0)
        m_unavailable = QStringLiteral("tools/inn start printed no port");
}

InnServer::~InnServer()
{
    if (m_port != 0)
        run({QStringLiteral("stop"), m_dir.path()});
}

QString InnServer::tool(const QString& name)
{
    return QStringLiteral(TW_SOURCE_DIR "/tools/") + name;
}

QByteArray InnServer::certificateFingerprint() const
{
    QFile pem(m_dir.filePath(QStringLiteral("tls/cert.pem")));
    if (!pem.open(QIODevice::ReadOnly))
        return {};
    return Socket::fingerprint(QSslCertificate(pem.readAll()));
}

bool InnServer::run(const QStringList& args, QByteArray* output) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"), QStringList{m_script} + args);
    const bool finished = p.waitForFinished(kScriptTimeoutMs);
    if (output)
        *output = p.readAll();
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool InnServer::postGenerated(const QStringList& args, QByteArray* summary) const
{
    const QString file = m_dir.filePath(QStringLiteral("generated.txt"));
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("python3"), QStringList{QStringLiteral(TW_SOURCE_DIR "/tools/make_articles.py")} + args
                                           + QStringList{QStringLiteral("--out"), file});
    if (!p.waitForFinished(kScriptTimeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (summary)
        *summary = p.readAllStandardOutput();
    return run({QStringLiteral("post"), m_dir.path(), file});
}

bool InnServer::cancel(const QByteArray& messageId) const
{
    return run({QStringLiteral("cancel"), m_dir.path(), QString::fromLatin1(messageId)});
}
