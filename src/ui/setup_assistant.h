#pragma once

#include "app/settings.h"
#include "nntp/server_check.h"

#include <QDialog>

#include <array>

class FolderPicker;
class HostGroups;
class Prompts;
class QCheckBox;
class QLabel;
class QLayout;
class EncryptionChoice;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
struct Settings;

// "TideWhelk Setup Assistant": twelve pages that take a new user from a news server that answers
// to a download folder and, if wanted, the server's group list. The mascot's speech changes with
// every page. Only "Done!" applies the folder; "Cancel" leaves every setting as it was.
class SetupAssistant : public QDialog {
    Q_OBJECT
public:
    enum Page {
        Welcome,
        NoNntp,
        Server,
        Login,
        Check,
        Folder,
        SubFolders,
        GroupListChoice,
        GroupListDownload,
        Summary,
        Tips,
        Finished,
        PageCount
    };

    struct Services {
        Settings& settings;
        Prompts& prompts;
        ServerCheck& check;
        HostGroups& hostGroups;
    };

    explicit SetupAssistant(const Services& services, QWidget* parent = nullptr);
    ~SetupAssistant() override;

    [[nodiscard]] int page() const;
    [[nodiscard]] QString mascotText() const;

    // Cancel and the window's close button.
    void reject() override;

private:
    QWidget* buildMascot();
    QLayout* buildButtons();
    void connectParts();
    void next();
    void back();
    void showPage(int page);
    void leavePage(int page);
    void finish();
    void setNavigationEnabled(bool enabled);
    void updateSummary();
    void restoreLogin();
    [[nodiscard]] ServerCheck::Fields fields() const;

    QWidget* buildWelcome();
    QWidget* buildNoNntp();
    QWidget* buildServer();
    QWidget* buildLogin();
    QWidget* buildCheck();
    QWidget* buildFolder();
    QWidget* buildSubFolders();
    QWidget* buildGroupListChoice();
    QWidget* buildGroupListDownload();
    QWidget* buildSummary();
    QWidget* buildTips();
    QWidget* buildFinished();

    Services m;
    // The login fields as they were, put back by Cancel: a verified server may have filled them.
    LoginFields m_loginBefore;

    QStackedWidget* m_pages = nullptr;
    QLabel* m_speech = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_cancel = nullptr;

    QRadioButton* m_aol = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_port = nullptr;
    EncryptionChoice* m_encryption = nullptr;
    QCheckBox* m_auth = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_savePassword = nullptr;
    std::array<QLabel*, 4> m_marks {};
    QLabel* m_checkStatus = nullptr;
    FolderPicker* m_folder = nullptr;
    QRadioButton* m_subFolders = nullptr;
    QRadioButton* m_skipGroupList = nullptr;
    QPushButton* m_go = nullptr;
    QLabel* m_downloadStatus = nullptr;
    std::array<QLabel*, 3> m_summary {};

    bool m_groupsDownloaded = false;
    bool m_downloadBusy = false;
};
