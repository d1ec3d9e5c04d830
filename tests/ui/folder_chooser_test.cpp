#include "ui/folder_chooser.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

class FolderChooserTest : public QObject {
    Q_OBJECT
private slots:
    void okWritesTheSelectionWithATrailingSlashAndNewFoldersArePlain()
    {
        TestContext t;
        QDir(t.dir.path()).mkpath(QStringLiteral("incoming/tv"));
        const QString incoming = t.path(QStringLiteral("incoming"));

        // Without a setting the chooser starts in the program folder.
        FolderChooser download(*t.ctx, FolderChooser::Target::Download);
        QCOMPARE(download.selection(), t.ctx->folder.path + u'/');
        download.setSelection(incoming);
        QCOMPARE(download.selection(), incoming + u'/');
        QCOMPARE(control<QLabel>(download, "lblSelection")->text(), incoming + u'/');
        control<QPushButton>(download, "cmdOK")->click();
        QCOMPARE(download.result(), int(QDialog::Accepted));
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');

        // Picking in the tree selects; the cache chooser writes only the cache folder.
        t.ctx->settings.Cache_Path = incoming + u'/';
        FolderChooser cache(*t.ctx, FolderChooser::Target::Cache);
        QCOMPARE(cache.selection(), incoming + u'/');
        auto* tree = control<QTreeView>(cache, "tvwFolders");
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        tree->setCurrentIndex(model->index(incoming + QStringLiteral("/tv")));
        QCOMPARE(cache.selection(), incoming + QStringLiteral("/tv/"));
        control<QPushButton>(cache, "cmdOK")->click();
        QCOMPARE(t.ctx->settings.Cache_Path, incoming + QStringLiteral("/tv/"));
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');

        FolderChooser cancelled(*t.ctx, FolderChooser::Target::Download);
        cancelled.setSelection(t.dir.path());
        control<QPushButton>(cancelled, "cmdCancel")->click();
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');

        // New Folder makes only plain names.
        FolderChooser chooser(*t.ctx, FolderChooser::Target::Download);
        const QString base = t.dir.path() + u'/';
        chooser.setSelection(base);
        auto* newFolder = control<QPushButton>(chooser, "cmdNewFolder");

        t.prompts.inputAnswers
            = { QStringLiteral("   "), QString(), QStringLiteral("a/b"), QStringLiteral(".."), QStringLiteral(".") };
        for (int i = 0; i < 5; ++i)
            newFolder->click();
        QCOMPARE(QDir(base).entryList(QDir::AllDirs | QDir::NoDotAndDotDot), QStringList { "incoming" });
        QCOMPARE(t.prompts.messages.size(), 3);
        QCOMPARE(chooser.selection(), base);

        t.prompts.inputAnswers = { QStringLiteral("  fresh  ") };
        newFolder->click();
        QVERIFY(QFileInfo(base + QStringLiteral("fresh")).isDir());
        QCOMPARE(chooser.selection(), base + QStringLiteral("fresh/"));
    }
};

TW_TEST(FolderChooserTest)
#include "folder_chooser_test.moc"
