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
    void showsTheLogClearsItAndOpensItsFile()
    {
        TestContext t;
        LogWindow w(*t.ctx);
        // The shortcut opens the log file only when it exists.
        auto* shortcut = control<QPushButton>(w, "cmdShortcut");
        shortcut->click();
        QCOMPARE(t.prompts.messages, QStringList { QStringLiteral("File does not exist.") });
        control<QCheckBox>(w, "chkEnableLogging")->click();
        control<QCheckBox>(w, "chkLogFile")->click();
        t.ctx->log.WriteLog(QStringLiteral("first"), true);
        shortcut->click();
        QCOMPARE(t.desktop.openedTargets, QStringList { t.ctx->log.logFilePath() });

        // A double click shows the whole of a long entry.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString longLine = QStringLiteral("200 news.example.org ready ") + QString(300, u'x');
        t.ctx->log.WriteLog(longLine, true);
        auto* list = control<QListView>(w, "lstLog");
        QCOMPARE(list->currentIndex().row(), 0);
        const QRect row = list->visualRect(list->model()->index(0, 0));
        const QPoint at(row.left() + 10, row.center().y());
        // A real double click starts with a whole click; mouseDClick sends only the second half.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(t.prompts.messages.size(), 2);
        QVERIFY(t.prompts.messages.last().endsWith(QStringLiteral("  ") + longLine));

        control<QPushButton>(w, "cmdClear")->click();
        QCOMPARE(list->model()->rowCount(), 0);
        control<QPushButton>(w, "cmdClose")->click();
        QVERIFY(!w.isVisible());
    }
};

TW_TEST(LogWindowTest)
#include "log_window_test.moc"
