#include "program/app_context.h"
#include "support/fakes.h"
#include "support/program_run.h"
#include "support/test_registry.h"

#include <QTest>

#include <memory>

// Not a test: tools/bench-download runs it by name to make a program folder for the download
// benchmark ("prepare": settings and group list for the server) and, after the program's scan,
// to queue every binary of the group as a user would ("queue"). Environment: TW_BENCH_HOME,
// TW_BENCH_GROUP, TW_BENCH_PORT, TW_BENCH_CONNECTIONS (download connections, default the setting's).
class BenchFolder : public QObject {
    Q_OBJECT
    FakeClock m_clock;
    ScriptedPrompts m_prompts;
    FakeDesktop m_desktop;
    FakeProbe m_probe;
    std::unique_ptr<AppContext> m_ctx;
    QByteArray m_group;

private slots:
    void init()
    {
        const QString home = qEnvironmentVariable("TW_BENCH_HOME");
        m_group = qgetenv("TW_BENCH_GROUP");
        QVERIFY2(!home.isEmpty() && !m_group.isEmpty(), "set TW_BENCH_HOME and TW_BENCH_GROUP");
        m_ctx = std::make_unique<AppContext>(
            ProgramFolder::at(home), AppServices { m_clock, m_prompts, m_desktop, m_probe });
        m_ctx->settingsFile.LoadOptions();
        m_ctx->groups.ngLoadFavs();
    }
    void cleanup() { m_ctx.reset(); }

    void prepare()
    {
        Settings& s = m_ctx->settings;
        const QString home = m_ctx->folder.path + u'/';
        s.News_Host = QStringLiteral("127.0.0.1");
        s.News_Port = qEnvironmentVariable("TW_BENCH_PORT");
        s.chkModeReader = 1;
        s.chkEnableLogging = 1;
        s.chkLogFile = 1;
        s.chkAutodownload = 0;
        s.Download_Path = home + QStringLiteral("download/");
        s.Cache_Path = home + QStringLiteral("cache/");
        if (const int connections = qEnvironmentVariableIntValue("TW_BENCH_CONNECTIONS"); connections > 0)
            s.Download_Connections = connections;
        m_ctx->settingsFile.SaveOptions();
        m_ctx->groups.ngAddGroup(m_group);
        QVERIFY(m_ctx->groups.ngSaveFavs());
    }

    void queue()
    {
        m_ctx->batch.LoadBatch();
        const QList<QByteArray> keys = queueBinaries(*m_ctx, QString::fromLatin1(m_group));
        QVERIFY2(!keys.isEmpty(), "nothing to queue");
        QCOMPARE(batchFileEntries(m_ctx->batch.filePath()), keys.size());
        qInfo("queued %lld items", static_cast<long long>(keys.size()));
    }
};

TW_TOOL(BenchFolder)
#include "bench_folder.moc"
