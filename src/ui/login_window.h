#pragma once

#include <QWidget>

class AppContext;

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

private:
    AppContext& m_ctx;
};
