#include "program/startup.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records every call start-up and shutdown make on the windows, in order.
class RecordingWindows final : public StartupWindows {
public:
    void splashSetMaximum(int m) override { calls << QStringLiteral("max %1").arg(m); }
    void splashSetValue(int v) override { calls << QStringLiteral("value %1").arg(v); }
    void splashSetCaption(const QString& c) override { calls << c; }
    void splashShow() override { calls << QStringLiteral("splash shown"); }
    void splashClose() override { calls << QStringLiteral("splash closed"); }
    void loadMainWindow() override { calls << QStringLiteral("main loaded"); }
    void loadOptionsWindow() override { calls << QStringLiteral("options loaded"); }
    void applySkinIcons(const QList<SkinIcon>& i) override
    {
        icons = i;
        calls << QStringLiteral("icons");
    }
    void applyPlacement(const WindowPlacement&) override { calls << QStringLiteral("placement"); }
    void applyColumnWidths(const ColumnLayouts&) override { calls << QStringLiteral("columns"); }
    void showMainWindow() override { calls << QStringLiteral("main shown"); }
    void showSetupAssistant() override { calls << QStringLiteral("assistant shown"); }
    void repaintToolbar() override { calls << QStringLiteral("toolbar"); }
    void hideOptionsWindow() override { calls << QStringLiteral("options hidden"); }
    WindowPlacement currentPlacement() const override { return placement; }
    ColumnLayouts currentColumnWidths() const override { return {}; }
    void hideMainWindow() override { calls << QStringLiteral("main hidden"); }
    void endProcess() override { calls << QStringLiteral("ended"); }

    QStringList calls;
    QList<SkinIcon> icons;
    WindowPlacement placement{WindowPlacement::Normal, 10, 20, 600, 400};
};

void configure(TestContext& t)
{
    t.writeFile(QStringLiteral("TWHELK.INI"), "[Options]\r\nNews_Host=127.0.0.1\r\nNews_Port=9\r\nDownload_Path="
                                                  + t.dir.path().toUtf8() + "/dl/\r\nchkSFX=1\r\n");
    t.writeFile(QStringLiteral("favs.txt"), "alt.test,0,False,1,0,0\r\n");
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void loadsInOrderThenActsOnTheCommandLine()
    {
        TestContext t;
        configure(t);
        t.writeFile(QStringLiteral("sfx/twv001.wav"), "RIFF");
        t.writeFile(QStringLiteral("whelkskin/complete.ico"), "ico");
        RecordingWindows ui;
        // The scan's first step is to take the Scan button away, so its place in the order shows.
        QObject::connect(&t.ctx->window, &MainWindowState::enabledChanged, [&](MainWindowState::Control c, bool on) {
            if (c == MainWindowState::Control::Scan && !on)
                ui.calls << QStringLiteral("scan");
        });
        Main(*t.ctx, ui, QStringLiteral("/scan"));
        t.ctx->scanConnection.AbortScan(true);
        const QString expected = "max 10|value 1|splash shown|Loading Main Window|main loaded|value 1|"
                                 "Loading Options Window|options loaded|value 2|Loading INI settings|"
                                 "value 3|Loading Graphics|icons|value 4|Loading Newsgroups|value 5|"
                                 "Loading Window Sizes|placement|value 7|Loading Column Sizes|columns|value 9|"
                                 "Loading Batch|max 10|value 9|main shown|splash closed|toolbar|scan";
        QCOMPARE(ui.calls.join(u'|'), expected);
        QCOMPARE(t.ctx->groups.groupCount(), 1);
        QCOMPARE(t.ctx->groups.viewGroups().rowCount(), 2);
        QCOMPARE(t.desktop.played, QStringList{QStringLiteral("twv001.wav")});
        QVERIFY(t.ctx->window.text(MainWindowState::Label::StatsDownload).endsWith(QStringLiteral("(download)")));
        QCOMPARE(ui.icons[2].key, QStringLiteral("complete"));
        QVERIFY(ui.icons[2].file.endsWith(QStringLiteral("whelkskin/complete.ico")));
        QVERIFY(ui.icons[0].file.isEmpty());
    }

    void firstRunOpensTheAssistantOverTheMainWindow()
    {
        TestContext t;
        RecordingWindows ui;
        Main(*t.ctx, ui, QString());
        const qsizetype closed = ui.calls.indexOf(QStringLiteral("splash closed"));
        QVERIFY(closed >= 0);
        QCOMPARE(ui.calls.mid(closed, 3), (QStringList{QStringLiteral("splash closed"), QStringLiteral("main shown"),
                                                       QStringLiteral("assistant shown")}));
        // Without an "sfx" folder the sound option is switched off; an empty command line is not looked at.
        QVERIFY(!t.ctx->settings.sfxAvailable);
        QCOMPARE(t.ctx->settings.chkSFX, 0);
        QVERIFY(t.prompts.messages.isEmpty());
    }

    void commandLineMatching()
    {
        TestContext t;
        // Without a server the scan offers the setup assistant.
        ParseCommandLine(*t.ctx, QStringLiteral("  /Scan "));
        QCOMPARE(t.prompts.questions.size(), 1);
        QVERIFY(t.prompts.questions[0].startsWith(QStringLiteral("You have not entered a news server name!")));
        ParseCommandLine(*t.ctx, QStringLiteral("/download"));

        for (const QString& bad : {QStringLiteral("   "), QStringLiteral("/SCAN /DOWNLOAD"), QStringLiteral("/SCANX")})
            ParseCommandLine(*t.ctx, bad);
        QCOMPARE(t.prompts.questions.size(), 1);
        QCOMPARE(t.prompts.messages.size(), 3);
        QCOMPARE(t.prompts.messages[0],
                 QStringLiteral("Command line option not valid:    \r\rValid options are /SCAN or /DOWNLOAD"));
        QCOMPARE(t.prompts.messages[1],
                 QStringLiteral("Command line option not valid: /SCAN /DOWNLOAD\r\rValid options are /SCAN or /DOWNLOAD"));
    }

    void shutdownSavesEverythingAndRemovesPreviews()
    {
        TestContext t;
        configure(t);
        RecordingWindows ui;
        Main(*t.ctx, ui, QString());
        ui.calls.clear();
        // The viewed group has unsaved deletions: shutdown offers to save them, then empties the tables.
        t.ctx->view.viewedKey = 1;
        t.ctx->view.table.appendRecord({});
        t.ctx->view.table.changed = true;
        const QString previews = t.ctx->settings.Cache_Path + QStringLiteral("previews/");
        t.writeFile(QDir(t.dir.path()).relativeFilePath(previews + QStringLiteral("TW1.mp3")), "x");
        t.writeFile(QDir(t.dir.path()).relativeFilePath(previews + QStringLiteral("tw2")), "x");
        t.writeFile(QDir(t.dir.path()).relativeFilePath(previews + QStringLiteral("keep.txt")), "x");
        t.ctx->settings.User_Name = QStringLiteral("saved-at-exit");

        SaveAllAndExit(*t.ctx, ui);
        QCOMPARE(ui.calls, (QStringList{QStringLiteral("options hidden"), QStringLiteral("main hidden"),
                                        QStringLiteral("ended")}));
        QCOMPARE(t.prompts.questions, QStringList{QStringLiteral("Save changes to alt.test?")});
        QCOMPARE(t.ctx->view.table.count(), 0);
        QCOMPARE(QDir(previews).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
        const Profile ini(t.path(QStringLiteral("TWHELK.INI")));
        QCOMPARE(ini.value("Options", "User_Name"), QByteArray("saved-at-exit"));
        QCOMPARE(ini.value("Sizing", "Top"), QByteArray("10"));
        QCOMPARE(ini.value("Header View Column Sizes", "C1"), QByteArray());

        // While a scan runs the viewed group's headers belong to it and are not saved.
        ui.calls.clear();
        t.ctx->view.table.appendRecord({});
        t.ctx->view.table.changed = true;
        t.ctx->activity.running = true;
        SaveAllAndExit(*t.ctx, ui);
        QCOMPARE(t.prompts.questions.size(), 1);
        QVERIFY(ui.calls.endsWith(QStringLiteral("ended")));
    }

    void programFolderChoice()
    {
        QTemporaryDir data;
        QCOMPARE(ProgramFolder::resolve(QStringLiteral("/opt/tw/home/"), data.path(), data.path()).path,
            QStringLiteral("/opt/tw/home"));
        QCOMPARE(ProgramFolder::at(QStringLiteral("/srv/tidewhelk/")).folderName, QStringLiteral("tidewhelk"));

        // The executable's folder: which marker file sits where, and whether that folder is the one chosen.
        const struct {
            const char* marker;
            const char* executableIn;
            bool beside;
        } cases[] = {
            { nullptr, "", false }, // writable, as an installed /usr/bin is for root
            { "CMakeCache.txt", "", true },
            { "CMakeCache.txt", "bin", true },
            { ProgramFolder::kPortableMarker, "", true },
            { "CMakeCache.txt", "missing", false },
        };
        for (const auto& c : cases) {
            QTemporaryDir tree;
            if (c.marker)
                QVERIFY(QFile(tree.filePath(QLatin1String(c.marker))).open(QIODevice::WriteOnly));
            const QString exe = QDir::cleanPath(tree.filePath(QLatin1String(c.executableIn)));
            if (QLatin1String(c.executableIn) != QLatin1String("missing"))
                QVERIFY(QDir().mkpath(exe));
            QCOMPARE(ProgramFolder::resolve(QString(), exe, data.path()).path, c.beside ? exe : data.path());
        }
    }
};

TW_TEST(StartupTest)
#include "startup_test.moc"
