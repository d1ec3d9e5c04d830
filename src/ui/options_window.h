#pragma once

#include "ui/setting_checks.h"

#include <QWidget>

#include <vector>

class AppContext;
class EncryptionChoice;
class QLayout;
class QPushButton;
class NewsgroupsPage;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTabWidget;
struct SliderRange;

// "TideWhelk Options": pages Newsgroups, Download, Scan and Program, bound to the settings record.
// Closing only hides it; every change reaches the record at once and the file at shutdown.
class OptionsWindow : public QWidget {
    Q_OBJECT
public:
    enum Page { NewsgroupsPage = 0, DownloadPage = 1, ScanPage = 2, ProgramPage = 3 };

    explicit OptionsWindow(AppContext& context, QWidget* parent = nullptr);

    // Shows the record's current values in the controls (after loading, before showing).
    void syncFromSettings();
    void showPage(Page page);
    // Later parts put the newsgroup list here.
    [[nodiscard]] ::NewsgroupsPage* newsgroupsPage() const;

signals:
    void downloadFolderChooserRequested();
    void cacheFolderChooserRequested();
    void watchListRequested();
    void helpRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using Caption = QString (*)(int);
    struct SliderBinding {
        QSlider* slider;
        QLabel* label;
        int Settings::*field;
        Caption caption;
    };

    QWidget* buildDownloadPage();
    QWidget* buildScanPage();
    QWidget* buildProgramPage();
    QLayout* buildEncryptionRow(QWidget* parent);
    // Adds the caption label and the slider under it to layout.
    void addSlider(QLayout* layout, const QString& sliderName, const QString& labelName, const SliderRange& range,
        int Settings::*field, Caption caption);
    void openHelp();

    AppContext& m_ctx;
    SettingChecks m_checks;
    std::vector<SliderBinding> m_sliders;
    QTabWidget* m_tabs = nullptr;
    ::NewsgroupsPage* m_newsgroupsPage = nullptr;
    QLineEdit* m_downloadPath = nullptr;
    QLineEdit* m_cachePath = nullptr;
    QCheckBox* m_sfx = nullptr;
    EncryptionChoice* m_encryption = nullptr;
    QLabel* m_trusted = nullptr;
    QPushButton* m_forgetTrusted = nullptr;
};
