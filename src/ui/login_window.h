#pragma once

#include "ui/setting_checks.h"

#include <QWidget>

class AppContext;
class EncryptionChoice;
class QCheckBox;
class QLabel;
class QLineEdit;

// "Login": server, port, authentication and protocol options, bound to the settings record.
// Closing only hides it, so every connection can read its fields.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoginWindow(AppContext& context, QWidget* parent = nullptr);

    void syncFromSettings();

signals:
    // "Connect" was pressed: start a scan.
    void connectRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addField(const QString& name, QString Settings::*field);
    void updateAuthFields();

    AppContext& m_ctx;
    SettingChecks m_checks;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_userNameLabel = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QCheckBox* m_auth = nullptr;
    QCheckBox* m_savePassword = nullptr;
    EncryptionChoice* m_encryption = nullptr;
    QLabel* m_plainWarning = nullptr;
};
