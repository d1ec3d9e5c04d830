#include "ui/text_line.h"

#include <QEvent>
#include <QPainter>

TextLine::TextLine(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TextLine::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(m_text);
    update();
}

void TextLine::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void TextLine::setPreferredChars(int chars)
{
    m_chars = chars;
    updateGeometry();
}

QSize TextLine::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return { fontMetrics().averageCharWidth() * m_chars + margins.left() + margins.right(),
        fontMetrics().height() + margins.top() + margins.bottom() + 2 };
}

QSize TextLine::minimumSizeHint() const
{
    return { 0, sizeHint().height() };
}

void TextLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(
        area, static_cast<int>(m_alignment), fontMetrics().elidedText(m_text, Qt::ElideRight, area.width()));
}

void TextLine::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}
