#pragma once

#include <QWidget>

class AppContext;

// "LOG": this session's recorded messages, newest first, with the logging switches.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogWindow(AppContext& context, QWidget* parent = nullptr);

    void syncFromSettings();

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppContext& m_ctx;
};
