#include "ui/login_window.h"
#include "ui/encryption_choice.h"
#include "ui/window_keys.h"

#include "program/app_context.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel* fieldLabel(const QString& name, const QString& text, QLineEdit* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

// Passwords carried over from older settings files may not be UTF-8.
QString passwordText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

} // namespace

LoginWindow::LoginWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
    , m_checks(context.settings)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));

    m_host = addField(QStringLiteral("txtHost"), &Settings::News_Host);
    m_port = addField(QStringLiteral("txtPort"), &Settings::News_Port);
    m_port->setMaximumWidth(80);
    m_userName = addField(QStringLiteral("txtUserName"), &Settings::User_Name);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->installEventFilter(this);
    connect(m_password, &QLineEdit::textEdited, this,
        [this](const QString& text) { m_ctx.settings.password = text.toUtf8(); });

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port);
    auto* portHint = new QLabel(QStringLiteral("(NNTP default is 119, NNTPS 563)"), this);
    portHint->setObjectName(QStringLiteral("lblPortHint"));
    portRow->addWidget(portHint);
    portRow->addStretch();

    auto* server = new QFormLayout;
    server->addRow(fieldLabel(QStringLiteral("lblHost"), QStringLiteral("News Server:"), m_host, this), m_host);
    m_encryption = new EncryptionChoice(this, m_port);
    connect(m_encryption, &EncryptionChoice::encryptionChosen, this, [this](Encryption e) {
        m_ctx.settings.News_SSL = e;
        updateAuthFields();
    });
    auto* encryptionLabel = new QLabel(QStringLiteral("Encryption:"), this);
    encryptionLabel->setObjectName(QStringLiteral("lblEncryption"));
    encryptionLabel->setBuddy(m_encryption);
    server->addRow(encryptionLabel, m_encryption);
    server->addRow(fieldLabel(QStringLiteral("lblPort"), QStringLiteral("Port:"), m_port, this), portRow);

    auto* authBox = new QGroupBox(this);
    m_auth = m_checks.add(QStringLiteral("chkAuth"), QStringLiteral("Authentication required"), &Settings::chkAuth,
        authBox, [this] { updateAuthFields(); });
    m_userNameLabel = fieldLabel(QStringLiteral("lblUserName"), QStringLiteral("User Name:"), m_userName, authBox);
    m_passwordLabel = fieldLabel(QStringLiteral("lblPassword"), QStringLiteral("Password:"), m_password, authBox);
    m_savePassword = m_checks.add(
        QStringLiteral("chkSavePassword"), QStringLiteral("Save Password"), &Settings::chkSavePassword, authBox);
    auto* credentials = new QFormLayout;
    credentials->addRow(m_userNameLabel, m_userName);
    credentials->addRow(m_passwordLabel, m_password);
    credentials->addRow(QString(), m_savePassword);
    m_plainWarning = new QLabel(QStringLiteral("Without encryption the password is sent as plain text unless the "
                                               "server offers STARTTLS."),
        authBox);
    m_plainWarning->setObjectName(QStringLiteral("lblPlainPassword"));
    m_plainWarning->setWordWrap(true);
    auto* authLayout = new QVBoxLayout(authBox);
    authLayout->addWidget(m_auth);
    authLayout->addLayout(credentials);
    authLayout->addWidget(m_plainWarning);

    auto* options = new QGroupBox(QStringLiteral("Options:"), this);
    options->setObjectName(QStringLiteral("fraOptions"));
    auto* optionsLayout = new QHBoxLayout(options);
    optionsLayout->addWidget(m_checks.add(
        QStringLiteral("chkModeReader"), QStringLiteral("MODE READER"), &Settings::chkModeReader, options));
    optionsLayout->addWidget(
        m_checks.add(QStringLiteral("chkSlave"), QStringLiteral("SLAVE"), &Settings::chkSlave, options));
    optionsLayout->addStretch();

    auto* go = new QPushButton(QStringLiteral("Connect"), this);
    go->setObjectName(QStringLiteral("cmdGO"));
    go->setDefault(true);
    connect(go, &QPushButton::clicked, this, &LoginWindow::connectRequested);
    auto* exit = new QPushButton(QStringLiteral("Cancel"), this);
    exit->setObjectName(QStringLiteral("cmdExit"));
    connect(exit, &QPushButton::clicked, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(go);
    buttons->addWidget(exit);

    // Enter in any field connects, as the default button of a dialog would.
    for (QLineEdit* field : { m_host, m_port, m_userName, m_password })
        connect(field, &QLineEdit::returnPressed, go, &QPushButton::click);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(server);
    layout->addWidget(authBox);
    layout->addWidget(options);
    layout->addStretch();
    layout->addLayout(buttons);

    setMinimumWidth(380);
    syncFromSettings();
}

QLineEdit* LoginWindow::addField(const QString& name, QString Settings::*field)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) { m_ctx.settings.*field = text; });
    return edit;
}

void LoginWindow::syncFromSettings()
{
    const Settings& s = m_ctx.settings;
    // setText() does not emit textEdited, so nothing is written back.
    m_host->setText(s.News_Host);
    m_port->setText(s.News_Port);
    m_userName->setText(s.User_Name);
    m_password->setText(passwordText(s.password));
    m_encryption->setEncryption(s.News_SSL);
    m_checks.sync();
    updateAuthFields();
}

void LoginWindow::updateAuthFields()
{
    const bool on = m_auth->checkState() != Qt::Unchecked;
    for (QWidget* w :
        std::initializer_list<QWidget*> { m_userNameLabel, m_userName, m_passwordLabel, m_password, m_savePassword })
        w->setEnabled(on);
    m_plainWarning->setVisible(on && m_encryption->encryption() == Encryption::None);
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        // Deferred, so the mouse press that gave the focus does not place the cursor over it.
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}

void LoginWindow::showEvent(QShowEvent* event)
{
    // A scan start fills in the default port; the setup assistant fills in the rest.
    syncFromSettings();
    QWidget::showEvent(event);
}

void LoginWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
