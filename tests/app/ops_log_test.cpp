#include "app/format.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QTest>

using Label = MainWindowState::Label;

class OpsLogTest : public QObject {
    Q_OBJECT
private slots:
    void switchesDecideWhatIsKept()
    {
        Ground g;
        g.log.WriteLog(QStringLiteral("logging off"), true);
        QCOMPARE(g.window.text(Label::Status), QStringLiteral("logging off"));
        QCOMPARE(g.log.entries().rowCount(), 0);

        g.settings.chkEnableLogging = 1;
        g.settings.chkLogFile = 1;
        g.log.WriteLog(QStringLiteral("12% done"), false);
        QCOMPARE(g.window.text(Label::Status), QStringLiteral("12% done"));
        QCOMPARE(g.log.entries().rowCount(), 0);
        QVERIFY(!QFileInfo::exists(g.log.logFilePath()));

        // Only the first line is shown and kept.
        g.log.WriteLog(QStringLiteral("  211 5 1 5 alt.test  \r\nmore\r\n"), true);
        QCOMPARE(g.window.text(Label::Status), QStringLiteral("211 5 1 5 alt.test"));
        QCOMPARE(g.log.entries().stringList(), QStringList{QStringLiteral("14:05:09  211 5 1 5 alt.test")});
        const QByteArray file = g.readFile(QStringLiteral("OPSLOG.TXT"));
        QVERIFY(file.endsWith(" 14:05:09  211 5 1 5 alt.test\r\n"));
        QVERIFY(file.startsWith(fmt::shortDate(QDate(2026, 12, 7)).toUtf8() + ' '));

        g.settings.chkLogFile = 0;
        g.log.WriteLog(QStringLiteral("list only"), true);
        QCOMPARE(g.log.entries().rowCount(), 2);
        QCOMPARE(g.readFile(QStringLiteral("OPSLOG.TXT")), file);

        g.log.clear();
        QCOMPARE(g.log.entries().rowCount(), 0);

        // The list holds the newest 99.
        for (int i = 1; i <= 150; ++i)
            g.log.WriteLog(QStringLiteral("message %1").arg(i), true);
        const QStringList entries = g.log.entries().stringList();
        QCOMPARE(entries.size(), 99);
        QVERIFY(entries.first().endsWith(QStringLiteral("message 150")));
        QVERIFY(entries.last().endsWith(QStringLiteral("message 52")));

        // Minimised, the title carries the message.
        g.settings.News_Host = QStringLiteral("news.example");
        g.window.setMinimized(true);
        g.log.WriteLog(QStringLiteral("Crunched burst"), false);
        QCOMPARE(g.window.title(), g.folder.folderName + QStringLiteral(" [news.example] Crunched burst"));
        g.window.setMinimized(false);
        QCOMPARE(g.window.title(), QStringLiteral("TideWhelk"));
    }
};

TW_TEST(OpsLogTest)
#include "ops_log_test.moc"
