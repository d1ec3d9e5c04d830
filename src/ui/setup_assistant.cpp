#include "ui/setup_assistant.h"

#include "app/prompts.h"
#include "app/settings.h"
#include "groups/host_groups.h"
#include "ui/encryption_choice.h"
#include "ui/folder_picker.h"
#include "ui/whelky.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QString kNext = QStringLiteral("&Next \u00bb");
const QString kFinish = QStringLiteral("&Finish!");

QString mascotSpeech(int page)
{
    switch (page) {
    case SetupAssistant::Welcome:
        return QStringLiteral("Hi, I'm Whelky.  I'd be happy to help you to get started using TideWhelk if you want.");
    case SetupAssistant::NoNntp:
        return QStringLiteral("I'm very sorry but we have a problem.");
    case SetupAssistant::Server:
        return QStringLiteral("Please enter your news server name and port.");
    case SetupAssistant::Login:
        return QStringLiteral("Your server may require you to login with a username and password.\n"
                              "If so, please click the checkbox and enter this information now.");
    case SetupAssistant::Check:
        return QStringLiteral("Please wait while I check your server.");
    case SetupAssistant::Folder:
        return QStringLiteral("Select the folder where downloded files will be saved (or folders made).\n"
                              "I highly reccomend that you make a new folder for this purpose, like c:\\incoming or "
                              "something like that.");
    case SetupAssistant::SubFolders:
        return QStringLiteral("Do you want to create sub-folders for each newsgroup?");
    case SetupAssistant::GroupListChoice:
        return QStringLiteral("Would you like for me to download your hosts complete list of newsgroups?");
    case SetupAssistant::Summary:
        return QStringLiteral(
            "Ok, cool!  Here's a list of what we accomplished.\nClick Next when you are done reading.");
    case SetupAssistant::Tips:
        return QStringLiteral(
            "Just a couple of tips on how to use TideWhelk.\nPress Finish! when you are done reading.");
    case SetupAssistant::Finished:
        return QStringLiteral("Thanks for using TideWhelk!");
    default:
        return {};
    }
}

QLabel* paragraph(const QString& text, QWidget* parent, const char* name = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (name)
        label->setObjectName(QLatin1String(name));
    return label;
}

QRadioButton* option(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QRadioButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLineEdit* lineEdit(const QString& text, const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// A page's panel: its controls top down, spare room at the bottom.
QVBoxLayout* panelLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    return layout;
}

} // namespace

SetupAssistant::SetupAssistant(const Services& services, QWidget* parent)
    : QDialog(parent)
    , m(services)
    , m_loginBefore(m.settings.login())
{
    setObjectName(QStringLiteral("frmTWa"));
    setWindowTitle(QStringLiteral("TideWhelk Setup Assistant"));

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pages"));
    for (QWidget* page :
        { buildWelcome(), buildNoNntp(), buildServer(), buildLogin(), buildCheck(), buildFolder(), buildSubFolders(),
            buildGroupListChoice(), buildGroupListDownload(), buildSummary(), buildTips(), buildFinished() })
        m_pages->addWidget(page);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(16, 16, 16, 16);
    body->setSpacing(20);
    body->addWidget(buildMascot());
    body->addWidget(m_pages, 1);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(rule);
    layout->addLayout(buildButtons());
    resize(700, 460);

    connectParts();
    showPage(Welcome);
}

QWidget* SetupAssistant::buildMascot()
{
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgWhelky"));
    picture->setPixmap(whelkyPicture(120));
    picture->setAlignment(Qt::AlignCenter);
    m_speech = new QLabel(this);
    m_speech->setObjectName(QStringLiteral("lblWhelky"));
    m_speech->setWordWrap(true);
    m_speech->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_speech->setStyleSheet(QStringLiteral("QLabel { background: palette(base); border: 1px solid palette(mid); "
                                           "border-radius: 10px; padding: 10px; }"));
    auto* mascot = new QVBoxLayout;
    mascot->setSpacing(12);
    mascot->addWidget(picture);
    mascot->addWidget(m_speech);
    mascot->addStretch();
    auto* mascotColumn = new QWidget(this);
    mascotColumn->setLayout(mascot);
    mascotColumn->setFixedWidth(210);
    mascot->setContentsMargins(0, 0, 0, 0);
    return mascotColumn;
}

QLayout* SetupAssistant::buildButtons()
{
    m_back = new QPushButton(QStringLiteral(" &Back"), this);
    m_back->setObjectName(QStringLiteral("cmdBack"));
    m_back->setAutoDefault(false);
    connect(m_back, &QPushButton::clicked, this, &SetupAssistant::back);
    m_next = new QPushButton(kNext, this);
    m_next->setObjectName(QStringLiteral("cmdNext"));
    m_next->setDefault(true);
    connect(m_next, &QPushButton::clicked, this, &SetupAssistant::next);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &SetupAssistant::reject);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(16, 10, 16, 14);
    buttons->addStretch();
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addSpacing(12);
    buttons->addWidget(m_cancel);
    return buttons;
}

void SetupAssistant::connectParts()
{
    connect(&m.check, &ServerCheck::marksShown, this, [this](int count) {
        for (int i = 0; i < static_cast<int>(m_marks.size()); ++i)
            m_marks[static_cast<size_t>(i)]->setVisible(i < count);
    });
    connect(&m.check, &ServerCheck::statusChanged, m_checkStatus, &QLabel::setText);
    connect(&m.check, &ServerCheck::mascotSays, this, [this](const QString& text) {
        if (page() == Check)
            m_speech->setText(text);
    });
    connect(&m.check, &ServerCheck::nextEnabledChanged, this, [this](bool enabled) {
        if (page() == Check)
            m_next->setEnabled(enabled);
    });
    connect(&m.hostGroups, &HostGroups::assistantStatus, m_downloadStatus, &QLabel::setText);
    connect(&m.hostGroups, &HostGroups::assistantButtonsEnabled, this, [this](bool enabled) {
        if (page() != GroupListDownload)
            return;
        m_downloadBusy = !enabled;
        setNavigationEnabled(enabled);
    });
    connect(&m.hostGroups, &HostGroups::listDownloaded, this, [this] {
        if (page() == GroupListDownload)
            m_groupsDownloaded = true;
    });
}

SetupAssistant::~SetupAssistant()
{
    leavePage(page());
}

int SetupAssistant::page() const
{
    return m_pages->currentIndex();
}

QString SetupAssistant::mascotText() const
{
    return m_speech->text();
}

ServerCheck::Fields SetupAssistant::fields() const
{
    return { m_server->text().trimmed(), m_port->text().trimmed(), m_userName->text(), m_password->text().toUtf8(),
        m_auth->isChecked(), m_savePassword->isChecked(), m_encryption->encryption() };
}

void SetupAssistant::next()
{
    switch (page()) {
    case Welcome:
        showPage(m_aol->isChecked() ? NoNntp : Server);
        break;
    case GroupListChoice:
        showPage(m_skipGroupList->isChecked() ? Summary : GroupListDownload);
        break;
    case Finished:
        finish();
        break;
    default:
        showPage(page() + 1);
        break;
    }
}

void SetupAssistant::back()
{
    switch (page()) {
    case Welcome:
        break;
    case Server:
        showPage(Welcome);
        break;
    case Summary:
        showPage(m_skipGroupList->isChecked() ? GroupListChoice : GroupListDownload);
        break;
    default:
        showPage(page() - 1);
        break;
    }
}

void SetupAssistant::showPage(int target)
{
    if (target != page())
        leavePage(page());
    m_pages->setCurrentIndex(target);
    m_speech->setText(mascotSpeech(target));
    m_next->setText(target >= Tips ? kFinish : kNext);
    m_next->setEnabled(true);
    m_back->setEnabled(target != Welcome);
    switch (target) {
    case Server:
        m_server->setFocus();
        break;
    case Login:
        (m_auth->isChecked() ? static_cast<QWidget*>(m_userName) : m_auth)->setFocus();
        break;
    case Check:
        m.check.start(fields());
        m_next->setEnabled(m.check.nextEnabled());
        break;
    case GroupListDownload:
        m.hostGroups.setAssistantDriven(true);
        m_speech->setText(
            QStringLiteral("From this screen you can download the list of newsgroups from ") + fields().server);
        break;
    case Summary:
        updateSummary();
        break;
    default:
        break;
    }
}

void SetupAssistant::leavePage(int page)
{
    if (page == Check)
        m.check.cancel();
    else if (page == GroupListDownload)
        m.hostGroups.setAssistantDriven(false);
}

void SetupAssistant::setNavigationEnabled(bool enabled)
{
    for (QPushButton* b : { m_back, m_next, m_cancel, m_go })
        b->setEnabled(enabled);
}

void SetupAssistant::updateSummary()
{
    m_summary[0]->setText(QStringLiteral("1. We set up and verified ") + fields().server + QStringLiteral(".")
        + QStringLiteral(" (You can change this later on the login screen that comes up when you press the 'scan' "
                         "button on the main screen.)"));
    QString folder = QStringLiteral("2. We set your base download path: ") + m_folder->selection();
    if (m_subFolders->isChecked())
        folder += QStringLiteral(" TideWhelk will create a sub-folder for each newsgroup.");
    m_summary[1]->setText(folder);
    m_summary[2]->setText(m_groupsDownloaded
            ? QStringLiteral("3. We downloaded a list of newsgroups.")
            : QStringLiteral("3. You decided to skip downloading a list of newsgroups for now.  (You can download "
                             "them later from the host newsgroups query window.)"));
}

void SetupAssistant::finish()
{
    m.settings.Download_Path = m_folder->selection();
    m.settings.chkMakeSubDirs = m_subFolders->isChecked() ? 1 : 0;
    leavePage(page());
    accept();
    m.prompts.openWindow(AppWindow::OptionsNewsgroups, false);
    m.prompts.openWindow(AppWindow::AddNewsgroup, false);
}

void SetupAssistant::reject()
{
    // The group list download owns the connection until it ends.
    if (m_downloadBusy)
        return;
    leavePage(page());
    restoreLogin();
    QDialog::reject();
}

void SetupAssistant::restoreLogin()
{
    m.settings.setLogin(m_loginBefore);
}

QWidget* SetupAssistant::buildWelcome()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    layout->addWidget(paragraph(QStringLiteral("Are you using AOL or MSN for newsgroup access?"), page));
    m_aol = option(QStringLiteral("I am using AOL or MSN."), "optAOL", page);
    QRadioButton* no = option(QStringLiteral("No.  Let's move on."), "optNotAOL", page);
    no->setChecked(true);
    layout->addWidget(m_aol);
    layout->addWidget(no);
    layout->addStretch();
    QLabel* tip = paragraph(QStringLiteral("Tip: Select your answer, then click the 'Next' button."), page);
    tip->setEnabled(false);
    layout->addWidget(tip);
    return page;
}

QWidget* SetupAssistant::buildNoNntp()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    layout->addWidget(
        paragraph(QStringLiteral("You will need an account on an NNTP news server to use TideWhelk."), page));
    layout->addWidget(paragraph(
        QStringLiteral("MSN requires SPA (secure password authentication) which TW does not yet support."), page));
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildServer()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    m_server = lineEdit(m.settings.News_Host, "txtServer", page);
    m_port = lineEdit(m.settings.News_Port, "txtPort", page);
    m_port->setMaximumWidth(80);
    auto* port = new QHBoxLayout;
    port->addWidget(m_port);
    port->addWidget(new QLabel(QStringLiteral("(NNTP default is 119, NNTPS 563)"), page));
    port->addStretch();
    auto* portLabel = new QLabel(QStringLiteral("&Port:"), page);
    portLabel->setBuddy(m_port);
    m_encryption = new EncryptionChoice(page, m_port);
    m_encryption->setEncryption(m.settings.News_SSL);
    auto* encryptionLabel = new QLabel(QStringLiteral("&Encryption:"), page);
    encryptionLabel->setBuddy(m_encryption);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("News &server:"), m_server);
    form->addRow(encryptionLabel, m_encryption);
    form->addRow(portLabel, port);
    layout->addLayout(form);
    layout->addWidget(paragraph(QStringLiteral("Your internet provider or news service gives you the server name, "
                                               "usually something like news.example.net. Look for it in the "
                                               "welcome letter or on the provider's support pages, or in the "
                                               "account settings of a newsreader you already use. Most "
                                               "providers want TLS: choose it if they list an SSL or TLS port."),
        page));
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildLogin()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    m_auth = new QCheckBox(QStringLiteral("My server requires authentication."), page);
    m_auth->setObjectName(QStringLiteral("chkAuth"));
    m_auth->setChecked(m.settings.chkAuth != 0);
    m_userName = lineEdit(m.settings.User_Name, "txtUserName", page);
    m_password = lineEdit(QString::fromUtf8(m.settings.password), "txtPassword", page);
    m_password->setEchoMode(QLineEdit::Password);
    m_savePassword = new QCheckBox(QStringLiteral("Save Password"), page);
    m_savePassword->setObjectName(QStringLiteral("chkSavePassword"));
    m_savePassword->setChecked(m.settings.chkSavePassword != 0);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&User name:"), m_userName);
    form->addRow(QStringLiteral("Pass&word:"), m_password);
    form->addRow(QString(), m_savePassword);
    auto* fields = new QWidget(page);
    fields->setLayout(form);
    form->setContentsMargins(24, 0, 0, 0);
    fields->setEnabled(m_auth->isChecked());
    connect(m_auth, &QCheckBox::toggled, fields, &QWidget::setEnabled);
    layout->addWidget(m_auth);
    layout->addWidget(fields);
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildCheck()
{
    static const char* const kMarks[]
        = { "Logged on", "Group joined (alt.test)", "Article header retrieved (random article)", "Logoff successful" };
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    for (size_t i = 0; i < m_marks.size(); ++i) {
        m_marks[i] = new QLabel(QStringLiteral("\u2713  ") + QLatin1String(kMarks[i]), page);
        m_marks[i]->setObjectName(QStringLiteral("lblCheck%1").arg(i + 1));
        m_marks[i]->hide();
        layout->addWidget(m_marks[i]);
    }
    layout->addSpacing(8);
    m_checkStatus = paragraph(QString(), page, "lblCheckStatus");
    QFont bold = m_checkStatus->font();
    bold.setBold(true);
    m_checkStatus->setFont(bold);
    layout->addWidget(m_checkStatus);
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildFolder()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    m_folder = new FolderPicker(m.prompts, page);
    const QString current = m.settings.Download_Path;
    m_folder->setSelection(current.isEmpty() ? QDir::homePath() : current);
    layout->addWidget(m_folder, 1);
    return page;
}

QWidget* SetupAssistant::buildSubFolders()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    m_subFolders = option(QStringLiteral("Yes, I would like for TW to create sub-folders."), "optSubFoldersYes", page);
    QRadioButton* no = option(QStringLiteral("No, download everything to the main folder."), "optSubFoldersNo", page);
    (m.settings.chkMakeSubDirs != 0 ? m_subFolders : no)->setChecked(true);
    layout->addWidget(m_subFolders);
    layout->addWidget(no);
    layout->addWidget(paragraph(QStringLiteral("With sub-folders, the files of each newsgroup land in a folder named "
                                               "after the group inside the main folder, so pictures from one group "
                                               "never mix with another's. You can change this later in the "
                                               "options."),
        page));
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildGroupListChoice()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    QRadioButton* download = option(QStringLiteral("Yes, download the list of newsgroups now."), "optGroupsYes", page);
    m_skipGroupList = option(QStringLiteral("No, skip this for now."), "optGroupsSkip", page);
    download->setChecked(true);
    layout->addWidget(download);
    layout->addWidget(m_skipGroupList);
    layout->addWidget(paragraph(QStringLiteral("The list lets you search every newsgroup your server carries by "
                                               "name. On a slow line it can take a few minutes."),
        page));
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildGroupListDownload()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    layout->addWidget(paragraph(QStringLiteral("Press the GO button to begin the download."), page));
    m_go = new QPushButton(QStringLiteral("&GO"), page);
    m_go->setObjectName(QStringLiteral("cmdGo"));
    m_go->setAutoDefault(false);
    m_go->setMinimumWidth(100);
    connect(m_go, &QPushButton::clicked, this, [this] { m.hostGroups.RetrieveHostGroups(); });
    auto* row = new QHBoxLayout;
    row->addWidget(m_go);
    row->addStretch();
    layout->addLayout(row);
    m_downloadStatus = paragraph(QString(), page, "lblDownloadStatus");
    layout->addWidget(m_downloadStatus);
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildSummary()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    for (size_t i = 0; i < m_summary.size(); ++i) {
        m_summary[i] = paragraph(QString(), page);
        m_summary[i]->setObjectName(QStringLiteral("lblSummary%1").arg(i + 1));
        layout->addWidget(m_summary[i]);
    }
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildTips()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    layout->addWidget(paragraph(QStringLiteral("Scanning: press 'Scan' on the main window to fetch the newest "
                                               "headers of the newsgroups in your list."),
        page));
    layout->addWidget(paragraph(QStringLiteral("Adding to the batch: select the items you want on the Headers tab "
                                               "and press 'Add to Batch'."),
        page));
    layout->addWidget(paragraph(QStringLiteral("Downloading: press 'Download' on the Batch tab. Finished files are "
                                               "decoded into your download folder."),
        page));
    layout->addStretch();
    return page;
}

QWidget* SetupAssistant::buildFinished()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = panelLayout(page);
    auto* doneButton = new QPushButton(QStringLiteral("Done!"), page);
    doneButton->setObjectName(QStringLiteral("cmdDone"));
    doneButton->setAutoDefault(false);
    doneButton->setMinimumWidth(100);
    connect(doneButton, &QPushButton::clicked, this, &SetupAssistant::finish);
    auto* row = new QHBoxLayout;
    row->addWidget(doneButton);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(paragraph(QStringLiteral("The assistant will close and open the Add Groups window, so you can "
                                               "pick the newsgroups to scan."),
        page));
    layout->addStretch();
    return page;
}
