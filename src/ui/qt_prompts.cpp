#include "ui/qt_prompts.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon toIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Message texts use CR and CR LF line breaks.
QString displayText(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
}

} // namespace

void QtPrompts::message(const QString& text, PromptIcon icon)
{
    QMessageBox box(toIcon(icon), QStringLiteral("TideWhelk"), displayText(text), QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtPrompts::askYesNo(const QString& text, PromptIcon icon)
{
    QMessageBox box(toIcon(icon), QStringLiteral("TideWhelk"), displayText(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompts::input(const QString& prompt, const QString& title, const QString& initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, displayText(prompt), QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void QtPrompts::openWindow(AppWindow window, bool modal)
{
    if (m_opener)
        m_opener(window, modal);
}

void QtPrompts::hideWindow(AppWindow window)
{
    if (m_hider)
        m_hider(window);
}
