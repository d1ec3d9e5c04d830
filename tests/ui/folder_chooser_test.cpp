#include "ui/folder_chooser.h"

#include "control.h"
#include "support/test_context.h"
#include "support/test_registry.h"

#include <QDir>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

class FolderChooserTest : public QObject {
    Q_OBJECT
private slots:
    void okWritesOnlyItsFolderAndNewFoldersArePlain()
    {
        TestContext t;
        QDir(t.dir.path()).mkpath(QStringLiteral("incoming/tv"));
        const QString incoming = t.path(QStringLiteral("incoming"));
        FolderChooser download(*t.ctx, FolderChooser::Target::Download);
        download.setSelection(incoming);
        control<QPushButton>(download, "cmdOK")->click();
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');

        // Picking in the tree selects; the cache chooser writes only the cache folder.
        FolderChooser cache(*t.ctx, FolderChooser::Target::Cache);
        auto* tree = control<QTreeView>(cache, "tvwFolders");
        tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(incoming + QStringLiteral("/tv")));
        control<QPushButton>(cache, "cmdOK")->click();
        QCOMPARE(t.ctx->settings.Cache_Path, incoming + QStringLiteral("/tv/"));
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');

        FolderChooser chooser(*t.ctx, FolderChooser::Target::Download);
        const QString base = t.dir.path() + u'/';
        chooser.setSelection(base);
        t.prompts.inputAnswers = { QStringLiteral("   "), QString(), QStringLiteral("a/b"), QStringLiteral(".."),
            QStringLiteral("."), QStringLiteral("  fresh  ") };
        for (int i = 0; i < 5; ++i)
            control<QPushButton>(chooser, "cmdNewFolder")->click();
        QCOMPARE(QDir(base).entryList(QDir::AllDirs | QDir::NoDotAndDotDot), QStringList { "incoming" });
        control<QPushButton>(chooser, "cmdNewFolder")->click();
        QVERIFY(QFileInfo(base + QStringLiteral("fresh")).isDir());
        QCOMPARE(chooser.selection(), base + QStringLiteral("fresh/"));
        control<QPushButton>(chooser, "cmdCancel")->click();
        QCOMPARE(t.ctx->settings.Download_Path, incoming + u'/');
    }
};

TW_TEST(FolderChooserTest)
#include "folder_chooser_test.moc"
