#include "ui/log_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QTest>

class LogWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsEntriesNewestFirstClearsOnlyTheListAndShowsOneWhole()
    {
        TestContext t;
        LogWindow w(*t.ctx);
        // The shortcut opens the log file only when it exists.
        auto* shortcut = control<QPushButton>(w, "cmdShortcut");
        shortcut->click();
        QCOMPARE(t.prompts.messages, QStringList { QStringLiteral("File does not exist.") });
        QVERIFY(t.desktop.openedTargets.isEmpty());

        control<QCheckBox>(w, "chkEnableLogging")->click();
        control<QCheckBox>(w, "chkLogFile")->click();
        QCOMPARE(t.ctx->settings.chkEnableLogging, 1);
        QCOMPARE(t.ctx->settings.chkLogFile, 1);

        t.ctx->log.WriteLog(QStringLiteral("first"), true);
        t.clock.advance(1000);
        t.ctx->log.WriteLog(QStringLiteral("second"), true);
        auto* list = control<QListView>(w, "lstLog");
        QCOMPARE(list->model()->rowCount(), 2);
        QVERIFY(list->model()->index(0, 0).data().toString().endsWith(QStringLiteral("  second")));
        QVERIFY(list->model()->index(1, 0).data().toString().endsWith(QStringLiteral("  first")));
        QCOMPARE(list->currentIndex().row(), 0);

        control<QPushButton>(w, "cmdClear")->click();
        QCOMPARE(list->model()->rowCount(), 0);
        QVERIFY(t.readFile(QStringLiteral("OPSLOG.TXT")).contains("second"));
        shortcut->click();
        QCOMPARE(t.desktop.openedTargets, QStringList { t.ctx->log.logFilePath() });

        // A double click shows the whole of a long entry.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString longLine = QStringLiteral("200 news.example.org ready ") + QString(300, u'x');
        t.ctx->log.WriteLog(longLine, true);
        const QRect row = list->visualRect(list->model()->index(0, 0));
        const QPoint at(row.left() + 10, row.center().y());
        // A real double click starts with a whole click; mouseDClick sends only the second half.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(t.prompts.messages.size(), 2);
        QVERIFY(t.prompts.messages.last().endsWith(QStringLiteral("  ") + longLine));
        control<QPushButton>(w, "cmdClose")->click();
        QVERIFY(!w.isVisible());
    }
};

TW_TEST(LogWindowTest)
#include "log_window_test.moc"
