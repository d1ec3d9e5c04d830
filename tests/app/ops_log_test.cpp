#include "app/format.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QTest>

using Label = MainWindowState::Label;

class OpsLogTest : public QObject {
    Q_OBJECT
private slots:
    void switchesDecideWhatIsKept()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.log.WriteLog(QStringLiteral("logging off"), true);
        QCOMPARE(ctx.window.text(Label::Status), QStringLiteral("logging off"));
        QCOMPARE(ctx.log.entries().rowCount(), 0);

        ctx.settings.chkEnableLogging = 1;
        ctx.settings.chkLogFile = 1;
        ctx.log.WriteLog(QStringLiteral("12% done"), false);
        QCOMPARE(ctx.window.text(Label::Status), QStringLiteral("12% done"));
        QCOMPARE(ctx.log.entries().rowCount(), 0);
        QVERIFY(!QFileInfo::exists(ctx.log.logFilePath()));

        // Only the first line is shown and kept.
        ctx.log.WriteLog(QStringLiteral("  211 5 1 5 alt.test  \r\nmore\r\n"), true);
        QCOMPARE(ctx.window.text(Label::Status), QStringLiteral("211 5 1 5 alt.test"));
        QCOMPARE(ctx.log.entries().stringList(), QStringList{QStringLiteral("14:05:09  211 5 1 5 alt.test")});
        const QByteArray file = t.readFile(QStringLiteral("OPSLOG.TXT"));
        QVERIFY(file.endsWith(" 14:05:09  211 5 1 5 alt.test\r\n"));
        QVERIFY(file.startsWith(fmt::shortDate(QDate(2026, 12, 7)).toUtf8() + ' '));

        ctx.settings.chkLogFile = 0;
        ctx.log.WriteLog(QStringLiteral("list only"), true);
        QCOMPARE(ctx.log.entries().rowCount(), 2);
        QCOMPARE(t.readFile(QStringLiteral("OPSLOG.TXT")), file);

        ctx.log.clear();
        QCOMPARE(ctx.log.entries().rowCount(), 0);

        // The list holds the newest 99.
        for (int i = 1; i <= 150; ++i)
            ctx.log.WriteLog(QStringLiteral("message %1").arg(i), true);
        const QStringList entries = ctx.log.entries().stringList();
        QCOMPARE(entries.size(), 99);
        QVERIFY(entries.first().endsWith(QStringLiteral("message 150")));
        QVERIFY(entries.last().endsWith(QStringLiteral("message 52")));
    }

    void minimisedTitleCarriesTheMessage()
    {
        TestContext t;
        AppContext& ctx = *t.ctx;
        ctx.settings.News_Host = QStringLiteral("news.example");
        ctx.window.setMinimized(true);
        ctx.log.WriteLog(QStringLiteral("Crunched burst"), false);
        QCOMPARE(ctx.window.title(), t.ctx->folder.folderName + QStringLiteral(" [news.example] Crunched burst"));
        ctx.window.setMinimized(false);
        QCOMPARE(ctx.window.title(), QStringLiteral("TideWhelk"));
    }
};

TW_TEST(OpsLogTest)
#include "ops_log_test.moc"
