#pragma once

#include "ui/setting_checks.h"

#include <QWidget>

class AppContext;
class QListView;

// "LOG": this session's recorded messages, newest first, with the logging switches.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogWindow(AppContext& context, QWidget* parent = nullptr);

    void syncFromSettings();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void openLogFile();

    AppContext& m_ctx;
    SettingChecks m_checks;
    QListView* m_list = nullptr;
};
