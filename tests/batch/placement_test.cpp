#include "batch/placement.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QTest>

class PlacementTest : public QObject {
    Q_OBJECT
private slots:
    void namesNeverOverwrite()
    {
        Ground t;
        const QString zip = t.path(QStringLiteral("file.zip"));
        for (const char* name : { "file.zip", "file.2.zip", "file.zip.2", "noext", "noext.2" })
            t.writeFile(QLatin1String(name), "x");
        QCOMPARE(UniqueName(zip, false), t.path(QStringLiteral("file.3.zip")));
        QCOMPARE(UniqueName(zip, true), t.path(QStringLiteral("file.zip.3")));
        // Without a three-letter extension the new style numbers the whole name.
        QCOMPARE(UniqueName(t.path(QStringLiteral("noext")), false), t.path(QStringLiteral("noext.3")));

        const struct {
            const char* in;
            const char* out;
        } strips[] = { { "_name_", "name" }, { "name_", "name" }, { "_name", "_name" }, { "name", "name" }, { "_", "" } };
        for (const auto& s : strips)
            QCOMPARE(StripUnderscores(QLatin1String(s.in)), QLatin1String(s.out));

        QCOMPARE(safeFileName(QByteArray(300, 'a') + ".zip").toUtf8().size(), 255);
        QVERIFY(safeFileName(QByteArray(300, 'a') + ".zip").endsWith(QLatin1String(".zip")));
        QCOMPARE(safeFileName("  ", "..."), QStringLiteral("..."));
        QCOMPARE(safeFileName("", ".."), QStringLiteral("unnamed"));
    }

    // Programs and registry files are opened only after the user agrees; a failed decode has no file.
    void launchingAsksForDangerousTypes()
    {
        Ground t;
        LaunchDecodedFile(QStringLiteral("  "), t.prompts, t.cues);
        QCOMPARE(t.prompts.messages, QStringList { QStringLiteral("No file to launch, it failed to decode.") });
        t.prompts.yesNoAnswers = { false, true };
        LaunchDecodedFile(QStringLiteral("/dl/setup.exe"), t.prompts, t.cues);
        LaunchDecodedFile(QStringLiteral("/dl/run.Bat"), t.prompts, t.cues);
        LaunchDecodedFile(QStringLiteral("/dl/movie.avi"), t.prompts, t.cues);
        QCOMPARE(t.prompts.questions,
                 (QStringList { QStringLiteral("This file is a executable program, this could be dangerous.  Launch anyway?"),
                                QStringLiteral("This is a batch file. Launching this could be dangerous. Launch anyway?") }));
        QCOMPARE(t.desktop.openedTargets, (QStringList { QStringLiteral("/dl/run.Bat"), QStringLiteral("/dl/movie.avi") }));
    }
};

TW_TEST(PlacementTest)
#include "placement_test.moc"
