#include "app/password.h"
#include "app/profile.h"
#include "app/settings_file.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

using Label = MainWindowState::Label;

// The check boxes that start switched on, and those that start off; the round trip turns each over.
const std::initializer_list<int Settings::*> kOnByDefault { &Settings::chkMakeSubDirs, &Settings::chkAllowRestart,
    &Settings::chkAutodownload, &Settings::chkAutoExpire, &Settings::chkCompress, &Settings::chkPostProcess };
const std::initializer_list<int Settings::*> kOffByDefault { &Settings::chkAgressiveHeaderCrunch, &Settings::chkAuth,
    &Settings::chkSFX, &Settings::chkDisableStats, &Settings::chkSaveDecodes, &Settings::chkSaveDecodes2,
    &Settings::chkOldRenameStyle, &Settings::chkSlave, &Settings::chkModeReader, &Settings::chkRestart500,
    &Settings::chkSysTray, &Settings::chkEnableWatch, &Settings::chkLogFile, &Settings::chkEnableLogging,
    &Settings::chkSavePassword, &Settings::chkPostDelete };

struct Fixture : Ground {
    std::optional<Profile> profile;
    std::optional<SettingsFile> file;

    Fixture() { restart(); }
    // As the next start of the program would, with nothing left of what the last one read.
    SettingsFile& restart()
    {
        settings = {};
        window.setText(Label::LastScan, {});
        profile.emplace(path(QStringLiteral("TWHELK.INI")));
        return file.emplace(SettingsFile::Parts{*profile, settings, log, prompts, window, dir.path()});
    }
};

} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT
private slots:
    void missingFileGivesDefaults()
    {
        Fixture f;
        f.file->LoadOptions();
        const Settings& s = f.settings;
        QCOMPARE(s.Download_Path, f.dir.path() + QStringLiteral("/download/"));
        QCOMPARE(s.Cache_Path, f.dir.path() + QStringLiteral("/download/twcache/"));
        QVERIFY(QFileInfo(s.Download_Path).isDir());
        QVERIFY(QFileInfo(s.Cache_Path).isDir());
        QVERIFY(s.firstRun);
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(!f.file->LoadWindowPlacement().top.has_value());
        // Nothing is written while loading a clean file.
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("TWHELK.INI"))));
    }

    void refusedValuesAreLoggedAndLaterKeysStillLoad()
    {
        Fixture f;
        f.writeFile(QStringLiteral("TWHELK.INI"),
                    "[Options]\r\nNews_Host=news.example\r\nDownload_Path=" + f.dir.path().toUtf8()
                        + "/dl\r\nsldXOVER=5000\r\nchkAuth=7\r\nchkAllowRestart=0\r\nchkEnableLogging=1\r\n"
                          "chkSysTray=1\r\nRescan_Time=abc\r\ntogtsComplete=False\r\ntogtsText=maybe\r\n"
                          "togtsUnknown=0\r\nNews_Port=70000\r\nDownload_Connections=21\r\n");
        f.settings.toggles.togtsUnknown = true;
        f.file->LoadOptions();
        const Settings& s = f.settings;
        QCOMPARE(s.sldXOVER, 100);
        QCOMPARE(s.chkAuth, 0);
        QCOMPARE(s.Rescan_Time, 90);
        QCOMPARE(s.chkAllowRestart, 0);
        QCOMPARE(s.chkSysTray, 1);
        QCOMPARE(s.News_Port, QStringLiteral("119"));
        QCOMPARE(s.Download_Connections, 4);
        QVERIFY(!s.firstRun);
        QCOMPARE(s.Download_Path, f.dir.path() + QStringLiteral("/dl/"));
        // A bad toggle ends the toggle loading; the ones after it keep their values.
        QVERIFY(!s.toggles.togtsComplete);
        QVERIFY(s.toggles.togtsText);
        QVERIFY(s.toggles.togtsUnknown);
        QCOMPARE(f.logCount(QStringLiteral("  GetIniError: ")), 6);
        QCOMPARE(f.logCount(QStringLiteral("sldXOVER=5000")) + f.logCount(QStringLiteral("togtsText=maybe"))
                     + f.logCount(QStringLiteral("News_Port=70000")),
                 3);
    }

    void plainPasswordMigratesAtOnce()
    {
        Fixture f;
        f.writeFile(QStringLiteral("TWHELK.INI"),
                    "[Options]\r\nNews_Host=news.example\r\nUser_Pass= s3cret \r\nchkSavePassword=0\r\n"
                    "; trailing comment\r\n");
        f.file->LoadOptions();
        QCOMPARE(f.settings.password, QByteArray("s3cret"));
        const QByteArray file = f.readFile(QStringLiteral("TWHELK.INI"));
        QVERIFY(file.contains("User_Pass=\r\n"));
        QVERIFY(file.contains("; trailing comment\r\n"));
        const Profile reread(f.path(QStringLiteral("TWHELK.INI")));
        const QByteArray stored = reread.value("Options", "User_PWX");
        QCOMPARE(stored.size(), 12);
        QCOMPARE(UnscramblePassword(stored), QByteArray("s3cret"));

        // The next start reads the scrambled form.
        f.restart().LoadOptions();
        QCOMPARE(f.settings.password, QByteArray("s3cret"));
    }

    void saveThenLoadRoundTripsEveryKey()
    {
        Fixture f;
        Settings& s = f.settings;
        f.file->LoadOptions();
        s.Download_Path = f.dir.path() + QStringLiteral("/mine/");
        s.Cache_Path = f.dir.path() + QStringLiteral("/cache/");
        s.Rescan_Time = 5;
        s.sldTimeout = 240;
        s.sldXOVER = 3000;
        s.Download_Connections = 20;
        s.News_Host = QStringLiteral("news.example.org");
        s.News_Port = QStringLiteral("563");
        s.User_Name = QStringLiteral("reader");
        s.password = QByteArray("p a=s;s\xe9");
        // Every box turned from its default.
        for (int Settings::*box : kOffByDefault)
            s.*box = 1;
        for (int Settings::*box : kOnByDefault)
            s.*box = 0;
        s.toggles = {false, true, false, true, false};
        s.News_SSL = Encryption::Tls;
        // Three pins overflow what one value holds, so each has its own line.
        for (const char* server : { "news.example.org:563", "b.example:563", "c.example:443" })
            s.News_SSL_Pins.insert(QString::fromLatin1(server), QByteArray(64, 'a'));
        f.window.setText(Label::LastScan, QStringLiteral("Last scan: 12/7/2026 3:04:05 PM"));
        f.file->SaveOptions();

        const Settings saved = s;
        f.restart().LoadOptions();
        const Settings& r = f.settings;
        for (QString Settings::*text : { &Settings::Download_Path, &Settings::Cache_Path, &Settings::News_Host,
                 &Settings::News_Port, &Settings::User_Name })
            QCOMPARE(r.*text, saved.*text);
        for (int Settings::*number : { &Settings::Rescan_Time, &Settings::sldTimeout, &Settings::sldXOVER,
                 &Settings::Download_Connections })
            QCOMPARE(r.*number, saved.*number);
        QCOMPARE(r.password, saved.password);
        QCOMPARE(r.News_SSL, Encryption::Tls);
        QCOMPARE(r.News_SSL_Pins, saved.News_SSL_Pins);
        QVERIFY(!r.firstRun);
        for (int Settings::*box : kOffByDefault)
            QCOMPARE(r.*box, 1);
        for (int Settings::*box : kOnByDefault)
            QCOMPARE(r.*box, 0);
        QCOMPARE(r.toggles.togtsComplete, false);
        QCOMPARE(r.toggles.togtsText, true);
        QCOMPARE(r.toggles.togtsInBatch, false);
        QCOMPARE(f.window.text(Label::LastScan), QStringLiteral("Last scan: 12/7/2026 3:04:05 PM"));
        QVERIFY(f.readFile(QStringLiteral("TWHELK.INI")).contains("togtsText=True\r\n"));

        // Forgotten pins leave no line behind; a file without the port takes the encryption's.
        s.News_SSL_Pins.remove(QStringLiteral("b.example:563"));
        s.News_Port.clear();
        f.file->SaveOptions();
        f.restart().LoadOptions();
        QCOMPARE(f.settings.News_SSL_Pins.size(), 2);
        QCOMPARE(f.settings.News_Port, QStringLiteral("563"));

        // Without "Save Password" the stored password is emptied.
        s.chkSavePassword = 0;
        f.file->SaveOptions();
        QCOMPARE(Profile(f.path(QStringLiteral("TWHELK.INI"))).value("Options", "User_PWX"), QByteArray());

        // A text longer than a value holds comes back cut before the character the cut splits.
        s.User_Name = QString(130, QChar(0xE9));
        f.file->SaveOptions();
        f.restart().LoadOptions();
        QCOMPARE(f.settings.User_Name, QString(127, QChar(0xE9)));
    }

    void failedSaveKeepsTheOldFileAndIsLogged()
    {
        Fixture f;
        const QByteArray original = "[Options]\r\nNews_Host=kept.example\r\n";
        f.writeFile(QStringLiteral("TWHELK.INI"), original);
        const QString path = f.path(QStringLiteral("TWHELK.INI"));
        Profile failing(path, [](QIODevice& device, const QByteArray& content) {
            device.write(content.left(content.size() / 2));
            return false;
        });
        Settings& s = f.settings;
        s.chkEnableLogging = 1;
        SettingsFile file({failing, s, f.log, f.prompts, f.window, f.dir.path()});
        file.LoadOptions();
        s.News_Host = QStringLiteral("changed.example");
        file.SaveOptions();
        QCOMPARE(f.readFile(QStringLiteral("TWHELK.INI")), original);
        QCOMPARE(f.logCount(QStringLiteral("SaveOptions Error: ")), 1);
    }

    void placementAndColumnWidths()
    {
        Fixture f;
        f.writeFile(QStringLiteral("TWHELK.INI"),
                    "[Sizing]\r\nWindowState=0\r\nTop=10\r\nLeft=abc\r\nHEIGHT=500\r\nWidth=800\r\n"
                    "[Header View Column Sizes]\r\nC1=400\r\nC3=0\r\nC4=-5\r\nSortColumn=9\r\nSortOrder=1\r\n");
        f.settings.chkEnableLogging = 1;
        WindowPlacement p = f.file->LoadWindowPlacement();
        QCOMPARE(p.top, std::optional<int>(10));
        QVERIFY(!p.left.has_value());
        QCOMPARE(p.height, std::optional<int>(500));
        QCOMPARE(p.width, std::optional<int>(800));
        QCOMPARE(f.logCount(QStringLiteral("GetIniError: Type mismatch (Left=abc)")), 1);

        const ColumnLayouts columns = f.file->LoadColumnWidths();
        QCOMPARE(columns.widths[ColumnLayouts::HeaderView], (QList<int>{400, 35, 35, 70, 70, 90, 20}));
        QCOMPARE(columns.widths[ColumnLayouts::ProcessedView], (QList<int>{360, 45, 135}));
        // A sort column the list does not have leaves it unsorted.
        QCOMPARE(columns.headerSortColumn, -1);

        // A maximised window writes only its state; the normal placement stays.
        p = {WindowPlacement::Maximized, 1, 2, 3, 4};
        f.file->SaveWindowPlacement(p);
        const Profile file(f.path(QStringLiteral("TWHELK.INI")));
        QCOMPARE(file.value("Sizing", "WindowState"), QByteArray("2"));
        QCOMPARE(file.value("Sizing", "Top"), QByteArray("10"));
        QCOMPARE(file.value("Sizing", "Width"), QByteArray("800"));

        ColumnLayouts sorted = columns;
        sorted.headerSortColumn = 2;
        sorted.headerSortDescending = true;
        f.file->SaveColumnWidths(sorted);
        QCOMPARE(Profile(file.path()).value("Header View Column Sizes", "C3"), QByteArray("35"));
        const ColumnLayouts reread = f.file->LoadColumnWidths();
        QVERIFY(reread.headerSortColumn == 2 && reread.headerSortDescending);
    }

    void missingFolderThatCannotBeMadeAsksForAnother()
    {
        Fixture f;
        f.writeFile(QStringLiteral("TWHELK.INI"), "[Options]\r\nNews_Host=h\r\nDownload_Path=" + f.dir.path().toUtf8()
                                                       + "/no/such/deep/\r\n");
        f.prompts.onOpen = [&](AppWindow w, bool modal) {
            QVERIFY(modal);
            if (w == AppWindow::DownloadFolderChooser)
                f.settings.Download_Path = f.dir.path() + QStringLiteral("/picked/");
        };
        QDir().mkpath(f.dir.path() + QStringLiteral("/picked"));
        f.file->LoadOptions();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Error re-creating missing download path, please re-select.")});
        QVERIFY(f.prompts.wasOpened(AppWindow::DownloadFolderChooser));
        QCOMPARE(f.settings.Cache_Path, f.dir.path() + QStringLiteral("/picked/twcache/"));
        QVERIFY(QFileInfo(f.settings.Cache_Path).isDir());
    }
};

TW_TEST(SettingsFileTest)
#include "settings_file_test.moc"
