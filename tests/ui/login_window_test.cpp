#include "ui/login_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QCheckBox>
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
        Settings& s = t.ctx->settings;
        LoginWindow w(*t.ctx);
        auto* password = control<QLineEdit>(w, "txtPassword");
        QVERIFY(!password->isEnabled());
        const std::pair<const char*, int Settings::*> boxes[]
            = { { "chkAuth", &Settings::chkAuth }, { "chkSavePassword", &Settings::chkSavePassword },
                  { "chkModeReader", &Settings::chkModeReader }, { "chkSlave", &Settings::chkSlave } };
        for (const auto& [name, field] : boxes) {
            control<QCheckBox>(w, name)->click();
            QVERIFY2(s.*field == 1, name);
        }
        QVERIFY(password->isEnabled());
        for (const char* name : { "txtHost", "txtPort", "txtUserName" })
            QTest::keyClicks(control<QLineEdit>(w, name), "x");
        QCOMPARE(QStringList({ s.News_Host, s.News_Port, s.User_Name }), QStringList({ "x", "119x", "x" }));

        // Syncing shows the record and writes nothing back; a non-UTF-8 password from an older file survives.
        s.password = QByteArray("p\xe4ss");
        w.syncFromSettings();
        QCOMPARE(password->text(), QStringLiteral("päss"));
        QCOMPARE(s.password, QByteArray("p\xe4ss"));
        QTest::sendKeyEvent(QTest::Click, password, Qt::Key_Udiaeresis, QStringLiteral("ü"), Qt::NoModifier);
        QCOMPARE(s.password, QStringLiteral("pässü").toUtf8());

        QSignalSpy connect(&w, &LoginWindow::connectRequested);
        w.show();
        control<QPushButton>(w, "cmdGO")->click();
        QTest::keyClick(control<QLineEdit>(w, "txtHost"), Qt::Key_Return);
        QCOMPARE(connect.count(), 2);
        control<QPushButton>(w, "cmdExit")->click();
        QVERIFY(!w.isVisible());
        w.show();
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
    }
};

TW_TEST(LoginWindowTest)
#include "login_window_test.moc"
