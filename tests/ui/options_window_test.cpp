#include "ui/newsgroups_page.h"
#include "ui/options_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

class OptionsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsWriteTheRecordAtOnce()
    {
        TestContext t;
        Settings& s = t.ctx->settings;
        t.ctx->monitor.applyStatsSetting();
        OptionsWindow w(*t.ctx);
        const std::pair<const char*, int Settings::*> sliders[] = { { "sldXOVER", &Settings::sldXOVER },
            { "sldRescan", &Settings::Rescan_Time }, { "sldTimeout", &Settings::sldTimeout },
            { "sldConnections", &Settings::Download_Connections } };
        for (const auto& [name, field] : sliders) {
            auto* slider = control<QSlider>(w, name);
            slider->setValue(slider->value() + 7);
            QVERIFY2(s.*field == slider->value(), name);
        }
        const std::pair<const char*, int Settings::*> boxes[]
            = { { "chkMakeSubDirs", &Settings::chkMakeSubDirs }, { "chkOldRenameStyle", &Settings::chkOldRenameStyle },
                  { "chkSaveDecodes", &Settings::chkSaveDecodes }, { "chkSaveDecodes2", &Settings::chkSaveDecodes2 },
                  { "chkAutodownload", &Settings::chkAutodownload }, { "chkEnableWatch", &Settings::chkEnableWatch },
                  { "chkAgressiveHeaderCrunch", &Settings::chkAgressiveHeaderCrunch },
                  { "chkAutoExpire", &Settings::chkAutoExpire }, { "chkAllowRestart", &Settings::chkAllowRestart },
                  { "chkRestart500", &Settings::chkRestart500 }, { "chkSysTray", &Settings::chkSysTray },
                  { "chkSFX", &Settings::chkSFX }, { "chkDisableStats", &Settings::chkDisableStats },
                  { "chkCompress", &Settings::chkCompress } };
        for (const auto& [name, field] : boxes) {
            control<QCheckBox>(w, name)->click();
            QVERIFY2(s.*field == int(control<QCheckBox>(w, name)->isChecked()), name);
        }
        // The stats box also stops the monitor at once.
        QVERIFY(!t.ctx->monitor.timerActive());

        const std::pair<const char*, void (OptionsWindow::*)()> signalButtons[]
            = { { "cmdDownloadPath", &OptionsWindow::downloadFolderChooserRequested },
                  { "cmdCachePath", &OptionsWindow::cacheFolderChooserRequested },
                  { "cmdEditWatch", &OptionsWindow::watchListRequested }, { "cmdHelp", &OptionsWindow::helpRequested } };
        for (const auto& [name, signal] : signalButtons) {
            QSignalSpy spy(&w, signal);
            control<QAbstractButton>(w, name)->click();
            QVERIFY2(spy.size() == 1, name);
        }

        w.show();
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());

        // Syncing shows the record and writes nothing back.
        s.Download_Path = QStringLiteral("/data/dl/");
        s.sldXOVER = 5000; // beyond the slider: shown clamped, kept as it is
        s.chkSaveDecodes = 2;
        s.sfxAvailable = false;
        w.syncFromSettings();
        QCOMPARE(control<QLineEdit>(w, "txtDownloadPath")->text(), QStringLiteral("/data/dl/"));
        QCOMPARE(control<QSlider>(w, "sldXOVER")->value(), 3000);
        QCOMPARE(s.sldXOVER, 5000);
        QVERIFY(!control<QCheckBox>(w, "chkSFX")->isEnabled());
        QCOMPARE(s.chkSFX, 1);
        // Once clicked, a greyed box never turns grey again.
        for (int i = 0; i < 3; ++i)
            control<QCheckBox>(w, "chkSaveDecodes")->click();
        QCOMPARE(s.chkSaveDecodes, 1);

        // Showing the window picks up what other parts changed while it was hidden.
        s.sldXOVER = 400;
        w.show();
        QCOMPARE(control<QSlider>(w, "sldXOVER")->value(), 400);
    }
};

TW_TEST(OptionsWindowTest)
#include "options_window_test.moc"
