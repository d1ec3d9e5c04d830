#include "ui/app_windows.h"
#include "ui/folder_picker.h"
#include "ui/options_window.h"
#include "ui/qt_prompts.h"
#include "ui/setup_assistant.h"

#include "app/profile.h"
#include "control.h"
#include "support/fake_nntp_server.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

using Page = SetupAssistant::Page;

struct Fixture : TestContext {
    FakeNntpServer server;
    SetupAssistant assistant { { ctx->settings, prompts, ctx->serverCheck, ctx->hostGroups } };

    Fixture()
    {
        server.on(QStringLiteral("GROUP alt.test")).reply("211 3 1 3 alt.test\r\n");
        server.on(QStringLiteral("HEAD")).reply("221 3 <x@y> head\r\nSubject: test\r\n.\r\n");
        server.on(QStringLiteral("LIST")).reply("215 list\r\nalt.test 0000000003 0000000001 y\r\n.\r\n");
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
    }
    template <class T> T* get(const char* name) { return control<T>(assistant, name); }
    void click(const char* name) { get<QPushButton>(name)->click(); }
    void choose(const char* name) { get<QRadioButton>(name)->setChecked(true); }
    QString text(const char* name) { return get<QLabel>(name)->text(); }
    // From the first page to a verified server.
    void checkServer()
    {
        click("cmdNext");
        get<QLineEdit>("txtServer")->setText(QStringLiteral("127.0.0.1"));
        get<QLineEdit>("txtPort")->setText(QString::number(server.port()));
        click("cmdNext");
        click("cmdNext");
        QCOMPARE(assistant.page(), Page::Check);
        QTRY_VERIFY(get<QPushButton>("cmdNext")->isEnabled());
    }
};

const QString kSkipped = QStringLiteral("3. You decided to skip downloading a list of newsgroups for now.  (You can "
                                        "download them later from the host newsgroups query window.)");

} // namespace

class SetupAssistantTest : public QObject {
    Q_OBJECT
private slots:
    void walksEveryBranchAndAppliesOnlyOnDone()
    {
        Fixture f;
        const QString folder = f.path(QStringLiteral("incoming"));
        QDir().mkpath(folder);
        QCOMPARE(f.assistant.windowTitle(), QStringLiteral("TideWhelk Setup Assistant"));
        QVERIFY(!f.get<QPushButton>("cmdBack")->isEnabled());

        // AOL or MSN leads to the dead end, and back from the server page skips it.
        f.choose("optAOL");
        f.click("cmdNext");
        QCOMPARE(f.assistant.page(), Page::NoNntp);
        QCOMPARE(f.assistant.mascotText(), QStringLiteral("I'm very sorry but we have a problem."));
        f.click("cmdBack");
        f.choose("optNotAOL");
        f.click("cmdNext");
        QCOMPARE(f.assistant.page(), Page::Server);
        f.click("cmdBack");
        QCOMPARE(f.assistant.page(), Page::Welcome);

        f.checkServer();
        QCOMPARE(f.assistant.mascotText(), QStringLiteral("Looks good to me, click Next to continue."));
        QCOMPARE(f.text("lblCheckStatus"), QStringLiteral("Server verified."));
        QVERIFY(!f.get<QLabel>("lblCheck4")->isHidden());

        f.click("cmdNext");
        f.assistant.findChild<FolderPicker*>()->setSelection(folder);
        f.click("cmdNext");
        f.choose("optSubFoldersNo");
        f.click("cmdNext");
        f.choose("optGroupsSkip");
        f.click("cmdNext");
        QCOMPARE(f.assistant.page(), Page::Summary);
        QCOMPARE(f.text("lblSummary1"),
            QStringLiteral("1. We set up and verified 127.0.0.1. (You can change this later on the login screen that "
                           "comes up when you press the 'scan' button on the main screen.)"));
        QCOMPARE(f.text("lblSummary2"), QStringLiteral("2. We set your base download path: ") + folder + u'/');
        QCOMPARE(f.text("lblSummary3"), kSkipped);

        // Skipped, Back returns to the choice; downloading goes through the GO page.
        f.click("cmdBack");
        QCOMPARE(f.assistant.page(), Page::GroupListChoice);
        f.choose("optGroupsYes");
        f.choose("optSubFoldersYes");
        f.click("cmdNext");
        QCOMPARE(f.assistant.mascotText(),
            QStringLiteral("From this screen you can download the list of newsgroups from 127.0.0.1"));
        f.click("cmdGo");
        QTRY_VERIFY(f.ctx->hostGroups.hostListDownloaded());
        QTRY_VERIFY(f.get<QPushButton>("cmdNext")->isEnabled());
        f.click("cmdNext");
        QCOMPARE(f.text("lblSummary2"),
            QStringLiteral("2. We set your base download path: ") + folder
                + QStringLiteral("/ TideWhelk will create a sub-folder for each newsgroup."));
        QCOMPARE(f.text("lblSummary3"), QStringLiteral("3. We downloaded a list of newsgroups."));
        f.click("cmdBack");
        QCOMPARE(f.assistant.page(), Page::GroupListDownload);

        f.click("cmdNext");
        f.click("cmdNext");
        QCOMPARE(f.get<QPushButton>("cmdNext")->text(), QStringLiteral("&Finish!"));
        f.click("cmdNext");
        QCOMPARE(f.assistant.page(), Page::Finished);
        QVERIFY(f.prompts.opened.isEmpty());
        QCOMPARE(f.ctx->settings.chkMakeSubDirs, 1);
        f.choose("optSubFoldersNo");
        f.click("cmdDone");
        QCOMPARE(f.assistant.result(), int(QDialog::Accepted));
        QCOMPARE(f.ctx->settings.Download_Path, folder + u'/');
        QCOMPARE(f.ctx->settings.chkMakeSubDirs, 0);
        QCOMPARE(f.ctx->settings.News_Host, QStringLiteral("127.0.0.1"));
        QCOMPARE(f.prompts.opened.size(), 2);
        QVERIFY(f.prompts.opened[0].window == AppWindow::OptionsNewsgroups);
        QVERIFY(f.prompts.opened[1].window == AppWindow::AddNewsgroup);
    }

    void theProgramOpensOneModalAssistant()
    {
        TestContext t;
        QtPrompts prompts;
        AppWindows windows(*t.ctx, prompts);
        windows.loadMainWindow();
        windows.loadOptionsWindow();
        windows.showSetupAssistant();
        SetupAssistant* first = windows.setupAssistant();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->objectName(), QStringLiteral("frmTWa"));
        QCOMPARE(first->windowModality(), Qt::ApplicationModal);
        prompts.openWindow(AppWindow::SetupAssistant, false);
        QCOMPARE(windows.setupAssistant(), first);
        QVERIFY(!windows.optionsWindow()->isVisible());
        control<QPushButton>(*first, "cmdCancel")->click();
        QTRY_VERIFY(!windows.setupAssistant());

        // Finished, its settings are on disk before anything else can go wrong.
        windows.showSetupAssistant();
        t.ctx->settings.News_Host = QStringLiteral("news.example");
        windows.setupAssistant()->accept();
        QCOMPARE(Profile(t.ctx->folder.file(QStringLiteral("TWHELK.INI"))).value("Options", "News_Host"),
            QByteArray("news.example"));
    }

    void cancelLeavesEverySettingAsItWas()
    {
        Fixture f;
        const Settings before = f.ctx->settings;
        f.checkServer();
        QCOMPARE(f.ctx->settings.News_Host, QStringLiteral("127.0.0.1"));
        f.click("cmdNext");
        f.assistant.findChild<FolderPicker*>()->setSelection(f.dir.path());
        f.click("cmdNext");
        f.choose("optSubFoldersNo");
        f.click("cmdCancel");
        QCOMPARE(f.assistant.result(), int(QDialog::Rejected));
        const Settings& after = f.ctx->settings;
        QCOMPARE(after.News_Host, before.News_Host);
        QCOMPARE(after.News_Port, before.News_Port);
        QCOMPARE(after.Download_Path, before.Download_Path);
        QCOMPARE(after.chkMakeSubDirs, before.chkMakeSubDirs);
        QVERIFY(f.prompts.opened.isEmpty());
    }
};

TW_TEST(SetupAssistantTest)
#include "setup_assistant_test.moc"
