#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// The start-up splash "frmWait": version, current loading step and progress.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    void setValue(int value);
    void setMaximum(int maximum);

    [[nodiscard]] QString caption() const;
    [[nodiscard]] int value() const;
    [[nodiscard]] int maximum() const;

private:
    QLabel* m_lblVersion;
    QLabel* m_lblNFO;
    QProgressBar* m_progress;
};
