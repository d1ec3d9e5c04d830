#include "ui/encryption_choice.h"

#include <QLineEdit>
#include <QSignalBlocker>

EncryptionChoice::EncryptionChoice(QWidget* parent, QLineEdit* port)
    : QComboBox(parent)
    , m_port(port)
{
    setObjectName(QStringLiteral("cboEncryption"));
    addItem(QStringLiteral("None"), static_cast<int>(Encryption::None));
    addItem(QStringLiteral("STARTTLS"), static_cast<int>(Encryption::StartTls));
    addItem(QStringLiteral("TLS (NNTPS)"), static_cast<int>(Encryption::Tls));
    setToolTip(QStringLiteral("None: plain text; a password still goes through STARTTLS when the server offers it.\n"
                              "STARTTLS: the usual port, encrypted before anything is sent, or no connection.\n"
                              "TLS (NNTPS): encrypted from the start, usually on port 563."));
    connect(this, &QComboBox::activated, this, [this] {
        const Encryption chosen = encryption();
        if (m_port) {
            const QString port = m_port->text().trimmed();
            if (port.isEmpty() || port == defaultPort(m_shown)) {
                m_port->setText(defaultPort(chosen));
                // Reported as typed, so whoever binds the field keeps it.
                emit m_port->textEdited(m_port->text());
            }
        }
        m_shown = chosen;
        emit encryptionChosen(chosen);
    });
}

Encryption EncryptionChoice::encryption() const { return static_cast<Encryption>(currentData().toInt()); }

void EncryptionChoice::setEncryption(Encryption encryption)
{
    const QSignalBlocker quiet(this);
    setCurrentIndex(findData(static_cast<int>(encryption)));
    m_shown = encryption;
}
