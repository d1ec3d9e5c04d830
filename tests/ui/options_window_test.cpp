#include "ui/options_window.h"
#include "ui/newsgroups_page.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

class OptionsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsWriteTheRecordAtOnce()
    {
        TestContext t;
        OptionsWindow w(*t.ctx);
        auto* xover = control<QSlider>(w, "sldXOVER");
        xover->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(t.ctx->settings.sldXOVER, 101);
        QCOMPARE(control<QLabel>(w, "lblXOVER")->text(), QStringLiteral("XOVER burst receive 101 headers at a time"));

        auto* rescan = control<QSlider>(w, "sldRescan");
        rescan->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(t.ctx->settings.Rescan_Time, 80);
        QCOMPARE(control<QLabel>(w, "lblERWait")->text(), QStringLiteral("Emergency restart wait: 80 seconds"));

        control<QSlider>(w, "sldTimeout")->setValue(240);
        QCOMPARE(t.ctx->settings.sldTimeout, 240);
        QCOMPARE(control<QLabel>(w, "lblTimeout")->text(),
            QStringLiteral("Restart connection if inactive more than 240 seconds"));

        // Check boxes and buttons act at once.
        auto* subDirs = control<QCheckBox>(w, "chkMakeSubDirs");
        QVERIFY(subDirs->isChecked());
        subDirs->click();
        QCOMPARE(t.ctx->settings.chkMakeSubDirs, 0);
        control<QCheckBox>(w, "chkEnableWatch")->click();
        QVERIFY(t.ctx->settings.watchEnabled());

        QSignalSpy download(&w, &OptionsWindow::downloadFolderChooserRequested);
        QSignalSpy watch(&w, &OptionsWindow::watchListRequested);
        control<QAbstractButton>(w, "cmdDownloadPath")->click();
        control<QAbstractButton>(w, "cmdEditWatch")->click();
        QCOMPARE(download.count() + watch.count(), 2);
        control<QAbstractButton>(w, "cmdHelp")->click();
        QCOMPARE(t.desktop.openedTargets, QStringList { t.ctx->folder.helpFile });

        // Closing hides; a page can be chosen.
        w.show();
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
        w.showPage(OptionsWindow::NewsgroupsPage);
        QCOMPARE(control<QTabWidget>(w, "TabStrip1")->currentWidget(), w.newsgroupsPage());
    }

    void syncShowsTheRecordWithoutWritingBack()
    {
        TestContext t;
        OptionsWindow w(*t.ctx);
        Settings& s = t.ctx->settings;
        s.Download_Path = QStringLiteral("/data/dl/");
        s.sldXOVER = 5000; // beyond the slider: shown clamped, kept as it is
        s.chkRestart500 = 1;
        s.chkSaveDecodes = 2;
        w.syncFromSettings();

        QCOMPARE(control<QLineEdit>(w, "txtDownloadPath")->text(), QStringLiteral("/data/dl/"));
        QCOMPARE(control<QSlider>(w, "sldXOVER")->value(), 3000);
        QCOMPARE(control<QLabel>(w, "lblXOVER")->text(), QStringLiteral("XOVER burst receive 3000 headers at a time"));
        QVERIFY(control<QCheckBox>(w, "chkRestart500")->isChecked());
        QCOMPARE(s.sldXOVER, 5000);

        // A greyed box shows as such; a click leaves grey behind for good.
        auto* greyed = control<QCheckBox>(w, "chkSaveDecodes");
        QCOMPARE(greyed->checkState(), Qt::PartiallyChecked);
        QCOMPARE(s.chkSaveDecodes, 2);
        greyed->click();
        QCOMPARE(s.chkSaveDecodes, 1);
        greyed->click();
        greyed->click();
        QCOMPARE(s.chkSaveDecodes, 1);
        QCOMPARE(greyed->checkState(), Qt::Checked);

        // Showing the window picks up what other parts changed while it was hidden.
        s.sldXOVER = 400;
        w.show();
        QCOMPARE(control<QSlider>(w, "sldXOVER")->value(), 400);
    }

    void statsAndSoundBoxesFollowTheirServices()
    {
        TestContext t;
        t.ctx->monitor.applyStatsSetting();
        OptionsWindow w(*t.ctx);
        auto* stats = control<QCheckBox>(w, "chkDisableStats");
        stats->click();
        QCOMPARE(t.ctx->settings.chkDisableStats, 1);
        QVERIFY(!t.ctx->monitor.timerActive());
        stats->click();
        QVERIFY(t.ctx->monitor.timerActive());

        auto* sfx = control<QCheckBox>(w, "chkSFX");
        QVERIFY(sfx->isEnabled());
        t.ctx->settings.chkSFX = 1;
        t.ctx->settings.sfxAvailable = false;
        w.syncFromSettings();
        QVERIFY(!sfx->isEnabled());
        QVERIFY(!sfx->isChecked());
    }
};

TW_TEST(OptionsWindowTest)
#include "options_window_test.moc"
