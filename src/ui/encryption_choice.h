#pragma once

#include "app/settings.h"

#include <QComboBox>

class QLineEdit;

// How the line to the server is secured, offered the same way wherever a server is typed in.
// With a port field beside it, a port left at one encryption's default follows to the other's.
class EncryptionChoice : public QComboBox {
    Q_OBJECT
public:
    explicit EncryptionChoice(QWidget* parent = nullptr, QLineEdit* port = nullptr);

    [[nodiscard]] Encryption encryption() const;
    // Shows the value without reporting it as the user's choice.
    void setEncryption(Encryption encryption);

signals:
    void encryptionChosen(Encryption encryption);

private:
    QLineEdit* m_port;
    Encryption m_shown = Encryption::None;
};
