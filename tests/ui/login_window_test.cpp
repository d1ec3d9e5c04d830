#include "ui/login_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class LoginWindowTest : public QObject {
    Q_OBJECT
private slots:
    void fieldsWriteTheRecordAsTypedAndEveryWayOutHides()
    {
        TestContext t;
        LoginWindow w(*t.ctx);
        auto userFieldsEnabled = [&w](bool enabled) {
            for (const char* name : { "txtUserName", "lblUserName", "txtPassword", "lblPassword", "chkSavePassword" }) {
                if (control<QWidget>(w, name)->isEnabled() != enabled)
                    return false;
            }
            return true;
        };
        QVERIFY(userFieldsEnabled(false));
        control<QCheckBox>(w, "chkAuth")->click();
        QCOMPARE(t.ctx->settings.chkAuth, 1);
        QVERIFY(userFieldsEnabled(true));
        control<QCheckBox>(w, "chkAuth")->click();
        QVERIFY(userFieldsEnabled(false));

        auto* host = control<QLineEdit>(w, "txtHost");
        QTest::keyClicks(host, "news.example.org");
        QCOMPARE(t.ctx->settings.News_Host, QStringLiteral("news.example.org"));
        control<QCheckBox>(w, "chkModeReader")->click();
        QCOMPARE(t.ctx->settings.chkModeReader, 1);

        host->deselect();
        QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(host, &focus);
        QTRY_COMPARE(host->selectedText(), QStringLiteral("news.example.org"));

        // Syncing shows the record and writes nothing back.
        t.ctx->settings.News_Port = QStringLiteral("563");
        t.ctx->settings.chkSlave = 2;
        w.syncFromSettings();
        QCOMPARE(control<QLineEdit>(w, "txtPort")->text(), QStringLiteral("563"));
        QCOMPARE(control<QCheckBox>(w, "chkSlave")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(t.ctx->settings.chkSlave, 2);

        QSignalSpy connect(&w, &LoginWindow::connectRequested);
        w.show();
        control<QPushButton>(w, "cmdGO")->click();
        QCOMPARE(connect.count(), 1);
        control<QPushButton>(w, "cmdExit")->click();
        QVERIFY(!w.isVisible());
        w.show();
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
    }

    void passwordBytesRoundTrip()
    {
        TestContext t;
        t.ctx->settings.chkAuth = 1;
        t.ctx->settings.password = QStringLiteral("sé cret").toUtf8();
        LoginWindow w(*t.ctx);
        auto* password = control<QLineEdit>(w, "txtPassword");
        QCOMPARE(password->text(), QStringLiteral("sé cret"));
        QTest::sendKeyEvent(QTest::Click, password, Qt::Key_Udiaeresis, QStringLiteral("ü"), Qt::NoModifier);
        QCOMPARE(t.ctx->settings.password, QStringLiteral("sé cretü").toUtf8());

        // An older file may hold a password that is not UTF-8.
        t.ctx->settings.password = QByteArray("p\xe4ss");
        w.syncFromSettings();
        QCOMPARE(password->text(), QStringLiteral("päss"));
        QCOMPARE(t.ctx->settings.password, QByteArray("p\xe4ss"));
    }
};

TW_TEST(LoginWindowTest)
#include "login_window_test.moc"
