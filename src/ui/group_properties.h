#pragma once

#include <QWidget>

class AppContext;
class QLabel;
class QProgressBar;
class QSlider;

// "Newsgroup properties": sets a group's read mark with a slider over its article range.
class GroupProperties : public QWidget {
    Q_OBJECT
public:
    GroupProperties(AppContext& context, quint8 key, QWidget* parent = nullptr);

    [[nodiscard]] static QString markText(qint64 position, qint64 last);

private:
    AppContext& m_ctx;
    quint8 m_key;
    qint64 m_first;
    qint64 m_last;
    QSlider* m_slider;
    QProgressBar* m_bar;
    QLabel* m_label;
};
