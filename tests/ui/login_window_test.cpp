#include "ui/login_window.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QCheckBox>
#include <QComboBox>
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

    void encryptionMovesADefaultPortAndWarnsOfPlainPasswords()
    {
        TestContext t;
        Settings& s = t.ctx->settings;
        s.chkAuth = 1;
        LoginWindow w(*t.ctx);
        w.show();
        auto* encryption = control<QComboBox>(w, "cboEncryption");
        auto* port = control<QLineEdit>(w, "txtPort");
        auto* warning = control<QLabel>(w, "lblPlainPassword");
        auto choose = [encryption](int index) {
            encryption->setCurrentIndex(index);
            emit encryption->activated(index);
        };
        QVERIFY(warning->isVisible());
        choose(2);
        QCOMPARE(s.News_SSL, Encryption::Tls);
        QCOMPARE(s.News_Port, QStringLiteral("563"));
        QVERIFY(!warning->isVisible());
        choose(1);
        QCOMPARE(s.News_Port, QStringLiteral("119"));
        // A port of the user's own stays.
        QTest::keyClicks(port, "0");
        choose(2);
        QCOMPARE(port->text(), QStringLiteral("1190"));
        QCOMPARE(s.News_Port, QStringLiteral("1190"));
        choose(0);
        QVERIFY(warning->isVisible());
        control<QCheckBox>(w, "chkAuth")->click();
        QVERIFY(!warning->isVisible());
    }
};

TW_TEST(LoginWindowTest)
#include "login_window_test.moc"
