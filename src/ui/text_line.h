#pragma once

#include <QWidget>

// One line of text that changes often (the status line, the ETAs). Unlike a label, a new text
// never asks the window for a new layout: it only repaints itself, cut with "…" when too long,
// with the whole text as its tool tip.
class TextLine : public QWidget {
    Q_OBJECT
public:
    explicit TextLine(QWidget* parent = nullptr);

    [[nodiscard]] QString text() const { return m_text; }
    void setText(const QString& text);
    void setAlignment(Qt::Alignment alignment);
    // Room for this many average characters when the layout asks.
    void setPreferredChars(int chars);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int m_chars = 40;
};
