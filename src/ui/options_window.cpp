#include "ui/options_window.h"
#include "ui/window_keys.h"

#include "program/app_context.h"
#include "ui/encryption_choice.h"
#include "ui/newsgroups_page.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QGroupBox* group(const QString& title, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    new QVBoxLayout(box);
    return box;
}

QToolButton* browseButton(const QString& name, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("Choose folder"));
    return button;
}

QLineEdit* folderField(const QString& name, QWidget* parent)
{
    // Folders are chosen with the "..." button, which keeps them existing and ending in "/".
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setMinimumWidth(320);
    return field;
}

} // namespace

OptionsWindow::OptionsWindow(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_ctx(context)
    , m_checks(context.settings)
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("TideWhelk Options"));

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    m_newsgroupsPage = new ::NewsgroupsPage(context, m_tabs);
    m_tabs->addTab(m_newsgroupsPage, QStringLiteral("Newsgroups"));
    m_tabs->addTab(buildDownloadPage(), QStringLiteral("Download"));
    m_tabs->addTab(buildScanPage(), QStringLiteral("Scan"));
    m_tabs->addTab(buildProgramPage(), QStringLiteral("Program"));

    auto* help = new QPushButton(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("cmdHelp"));
    connect(help, &QPushButton::clicked, this, &OptionsWindow::openHelp);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, &OptionsWindow::openHelp);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::hide);

    resize(600, 460);
    syncFromSettings();
}

QWidget* OptionsWindow::buildDownloadPage()
{
    auto* page = new QWidget(m_tabs);
    page->setObjectName(QStringLiteral("pageDownload"));

    auto* folders = new QGroupBox(QStringLiteral("Folders"), page);
    auto* grid = new QGridLayout(folders);
    m_downloadPath = folderField(QStringLiteral("txtDownloadPath"), folders);
    m_cachePath = folderField(QStringLiteral("txtCachePath"), folders);
    auto* pickDownload = browseButton(QStringLiteral("cmdDownloadPath"), folders);
    auto* pickCache = browseButton(QStringLiteral("cmdCachePath"), folders);
    connect(pickDownload, &QToolButton::clicked, this, &OptionsWindow::downloadFolderChooserRequested);
    connect(pickCache, &QToolButton::clicked, this, &OptionsWindow::cacheFolderChooserRequested);
    auto* downloadLabel = new QLabel(QStringLiteral("Base Download Path:"), folders);
    downloadLabel->setBuddy(m_downloadPath);
    auto* cacheLabel = new QLabel(QStringLiteral("Cache Path:"), folders);
    cacheLabel->setBuddy(m_cachePath);
    grid->addWidget(downloadLabel, 0, 0);
    grid->addWidget(m_downloadPath, 0, 1);
    grid->addWidget(pickDownload, 0, 2);
    grid->addWidget(cacheLabel, 1, 0);
    grid->addWidget(m_cachePath, 1, 1);
    grid->addWidget(pickCache, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* files = group(QStringLiteral("Downloaded files"), page);
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkMakeSubDirs"),
        QStringLiteral("Create Sub-Folders for each Newsgroup"), &Settings::chkMakeSubDirs, files));
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkOldRenameStyle"),
        QStringLiteral("Use old *.zip.2 dupe rename format"), &Settings::chkOldRenameStyle, files));
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkSaveDecodes"),
        QStringLiteral("Save Cached UUE files on bad decodes"), &Settings::chkSaveDecodes, files));
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkSaveDecodes2"),
        QStringLiteral("Save all Cached UUE files until expire"), &Settings::chkSaveDecodes2, files));
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkPostProcess"),
        QStringLiteral("Verify, repair and unpack finished sets (par2, RAR, 7z, zip)"), &Settings::chkPostProcess, files));
    files->layout()->addWidget(m_checks.add(QStringLiteral("chkPostDelete"),
        QStringLiteral("Delete archives and par2 files after a successful unpack"), &Settings::chkPostDelete, files));

    auto* batch = group(QStringLiteral("Batch"), page);
    batch->layout()->addWidget(m_checks.add(QStringLiteral("chkAutodownload"),
        QStringLiteral("Automatically start batch download at end of scan (if batch is not empty)"),
        &Settings::chkAutodownload, batch));
    addSlider(batch->layout(), QStringLiteral("sldConnections"), QStringLiteral("lblConnections"),
        slider::kConnections, &Settings::Download_Connections, &connectionsLabel);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(folders);
    layout->addWidget(files);
    layout->addWidget(batch);
    layout->addStretch();
    return page;
}

QWidget* OptionsWindow::buildScanPage()
{
    auto* page = new QWidget(m_tabs);
    page->setObjectName(QStringLiteral("pageScan"));

    auto* watch = group(QStringLiteral("Watch List"), page);
    auto* watchRow = new QHBoxLayout;
    watchRow->addWidget(m_checks.add(QStringLiteral("chkEnableWatch"), QStringLiteral("Enable Watch List/Kill Filter"),
        &Settings::chkEnableWatch, watch));
    watchRow->addStretch();
    auto* editWatch = new QPushButton(QStringLiteral("Edit Watch List/Kill Filter"), watch);
    editWatch->setObjectName(QStringLiteral("cmdEditWatch"));
    connect(editWatch, &QPushButton::clicked, this, &OptionsWindow::watchListRequested);
    watchRow->addWidget(editWatch);
    static_cast<QVBoxLayout*>(watch->layout())->addLayout(watchRow);

    auto* headers = group(QStringLiteral("Headers"), page);
    headers->layout()->addWidget(m_checks.add(QStringLiteral("chkAgressiveHeaderCrunch"),
        QStringLiteral("Aggressive Header Crunching"), &Settings::chkAgressiveHeaderCrunch, headers));
    headers->layout()->addWidget(m_checks.add(QStringLiteral("chkAutoExpire"),
        QStringLiteral("Auto-Expire (automatically expire headers that have been deleted from server)"),
        &Settings::chkAutoExpire, headers));
    headers->layout()->addWidget(m_checks.add(QStringLiteral("chkCompress"),
        QStringLiteral("Compressed overviews (where the server offers them)"), &Settings::chkCompress, headers));
    addSlider(headers->layout(), QStringLiteral("sldXOVER"), QStringLiteral("lblXOVER"), slider::kXover,
        &Settings::sldXOVER, &xoverLabel);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(watch);
    layout->addWidget(headers);
    layout->addStretch();
    return page;
}

QWidget* OptionsWindow::buildProgramPage()
{
    auto* page = new QWidget(m_tabs);
    page->setObjectName(QStringLiteral("pageProgram"));

    auto* restart = group(QStringLiteral("Connection"), page);
    restart->layout()->addWidget(m_checks.add(QStringLiteral("chkAllowRestart"),
        QStringLiteral("Enable Emergency Restart"), &Settings::chkAllowRestart, restart));
    restart->layout()->addWidget(m_checks.add(QStringLiteral("chkRestart500"),
        QStringLiteral("Allow restart on critical server errors"), &Settings::chkRestart500, restart));
    addSlider(restart->layout(), QStringLiteral("sldRescan"), QStringLiteral("lblERWait"), slider::kRescan,
        &Settings::Rescan_Time, &rescanLabel);
    addSlider(restart->layout(), QStringLiteral("sldTimeout"), QStringLiteral("lblTimeout"), slider::kTimeout,
        &Settings::sldTimeout, &timeoutLabel);
    restart->layout()->addItem(buildEncryptionRow(restart));

    auto* desktop = group(QStringLiteral("Desktop"), page);
    desktop->layout()->addWidget(m_checks.add(
        QStringLiteral("chkSysTray"), QStringLiteral("Minimize to SysTray"), &Settings::chkSysTray, desktop));
    m_sfx = m_checks.add(QStringLiteral("chkSFX"), QStringLiteral("Enable sound effects"), &Settings::chkSFX, desktop);
    desktop->layout()->addWidget(m_sfx);
    desktop->layout()->addWidget(
        m_checks.add(QStringLiteral("chkDisableStats"), QStringLiteral("Disable HDD/RAM stats display"),
            &Settings::chkDisableStats, desktop, [this] { m_ctx.monitor.applyStatsSetting(); }));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(restart);
    layout->addWidget(desktop);
    layout->addStretch();
    return page;
}

QLayout* OptionsWindow::buildEncryptionRow(QWidget* parent)
{
    m_encryption = new EncryptionChoice(parent);
    connect(m_encryption, &EncryptionChoice::encryptionChosen, this, [this](Encryption e) {
        Settings& s = m_ctx.settings;
        // The port is typed in the login window; one left at the old default follows.
        if (s.News_Port.trimmed().isEmpty() || s.News_Port.trimmed() == defaultPort(s.News_SSL))
            s.News_Port = defaultPort(e);
        s.News_SSL = e;
    });
    auto* label = new QLabel(QStringLiteral("Encryption:"), parent);
    label->setBuddy(m_encryption);
    m_trusted = new QLabel(parent);
    m_trusted->setObjectName(QStringLiteral("lblTrusted"));
    m_forgetTrusted = new QPushButton(QStringLiteral("Forget"), parent);
    m_forgetTrusted->setObjectName(QStringLiteral("cmdForgetTrusted"));
    m_forgetTrusted->setToolTip(QStringLiteral("Ask again about every certificate trusted so far"));
    connect(m_forgetTrusted, &QPushButton::clicked, this, [this] {
        m_ctx.settings.News_SSL_Pins.clear();
        syncFromSettings();
    });
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_encryption);
    row->addSpacing(12);
    row->addWidget(m_trusted);
    row->addWidget(m_forgetTrusted);
    row->addStretch();
    return row;
}

void OptionsWindow::addSlider(QLayout* layout, const QString& sliderName, const QString& labelName,
    const SliderRange& range, int Settings::*field, Caption caption)
{
    auto* parent = layout->parentWidget();
    auto* label = new QLabel(parent);
    label->setObjectName(labelName);
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(sliderName);
    slider->setRange(range.minimum, range.maximum);
    slider->setSingleStep(range.smallStep);
    slider->setPageStep(range.largeStep);
    label->setBuddy(slider);
    connect(slider, &QSlider::valueChanged, this, [this, label, field, caption](int value) {
        m_ctx.settings.*field = value;
        label->setText(caption(value));
    });
    layout->addWidget(label);
    layout->addWidget(slider);
    m_sliders.push_back({ slider, label, field, caption });
}

void OptionsWindow::syncFromSettings()
{
    const Settings& s = m_ctx.settings;
    m_downloadPath->setText(s.Download_Path);
    m_cachePath->setText(s.Cache_Path);
    m_encryption->setEncryption(s.News_SSL);
    m_trusted->setText(QStringLiteral("Trusted certificates: %1").arg(s.News_SSL_Pins.size()));
    m_forgetTrusted->setEnabled(!s.News_SSL_Pins.isEmpty());
    m_checks.sync();
    for (const SliderBinding& b : m_sliders) {
        const QSignalBlocker block(b.slider);
        b.slider->setValue(s.*b.field);
        b.label->setText(b.caption(b.slider->value()));
    }
    // Without an "sfx" folder there is nothing to play.
    if (!s.sfxAvailable)
        SettingChecks::showValue(m_sfx, 0);
    m_sfx->setEnabled(s.sfxAvailable);
}

void OptionsWindow::showPage(Page page)
{
    m_tabs->setCurrentIndex(page);
}

::NewsgroupsPage* OptionsWindow::newsgroupsPage() const
{
    return m_newsgroupsPage;
}

void OptionsWindow::openHelp()
{
    emit helpRequested();
}

void OptionsWindow::showEvent(QShowEvent* event)
{
    // Other parts change the record while hidden (the burst size, the chosen folders).
    syncFromSettings();
    QWidget::showEvent(event);
}

void OptionsWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
