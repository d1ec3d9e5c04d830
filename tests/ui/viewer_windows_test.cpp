#include "ui/main_window.h"

#include "control.h"
#include "support/articles.h"
#include "support/fake_nntp_server.h"
#include "support/server_settings.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

class ViewerWindowsTest : public QObject {
    Q_OBJECT
private slots:
    // A double click on a text file's row opens the viewer, which shows the article as it is.
    void doubleClickShowsTheArticleAsPlainText()
    {
        TestContext t;
        FakeNntpServer server;
        AppContext& ctx = *t.ctx;
        pointAtServer(ctx.settings, server.port(), t);
        t.showItems("alt.test", { { "readme.nfo", 1, {}, 0, { { " (1/1)", 100, "id@x", 2000 } } } });
        server.on(QStringLiteral("GROUP alt.test")).reply("211 1 100 100 alt.test\r\n");
        server.on(QStringLiteral("ARTICLE <id@x>"))
            .reply(articles::articleReply("From: A\r\nSubject: readme.nfo\r\n\r\n<b>bold</b> &amp;\r\n"));
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();

        MainWindow w(ctx);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeView* headers = w.view(ColumnLayouts::HeaderView);
        const QPoint onRow = headers->visualRect(headers->model()->index(0, 0)).center();
        QTest::mouseClick(headers->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(headers->viewport(), Qt::LeftButton, {}, onRow);
        auto* viewer = control<QWidget>(w, "frmViewArt");
        QTRY_VERIFY(viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), QStringLiteral("readme.nfo"));
        auto* text = control<QPlainTextEdit>(*viewer, "txtArticle");
        QTRY_COMPARE_WITH_TIMEOUT(
            text->toPlainText(), QStringLiteral("From: A\nSubject: readme.nfo\n\n<b>bold</b> &amp;\n"), 10000);
        viewer->close();
        QTRY_COMPARE(ctx.connections.state(Conn::Viewer), 0);
    }
};

TW_TEST(ViewerWindowsTest)
#include "viewer_windows_test.moc"
