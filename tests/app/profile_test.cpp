#include "app/profile.h"
#include "support/ground.h"
#include "support/test_registry.h"

#include <QTest>

class ProfileTest : public QObject {
    Q_OBJECT
private slots:
    void readsLikeAPrivateProfile()
    {
        Ground g;
        const QString path = g.path(QStringLiteral("t.ini"));
        g.writeFile(QStringLiteral("t.ini"),
            "; settings\r\n[Options]\r\n  Download_Path =  /data/dl/  \r\nsldXOVER=5000\n"
            "[sizing]\r\nHeight=400\r\n[Other]\r\nkey="
                + QByteArray(300, 'x') + "\r\ncut=" + QByteArray(254, 'x') + "  after\r\n");
        const Profile p(path);
        QCOMPARE(p.value("options", "DOWNLOAD_PATH"), QByteArray("/data/dl/"));
        QCOMPARE(p.value("Options", "sldXOVER"), QByteArray("5000"));
        QCOMPARE(p.value("Sizing", "height"), QByteArray("400"));
        QCOMPARE(p.value("Sizing", "sldXOVER"), QByteArray());
        QCOMPARE(p.value("Options", "Height"), QByteArray());
        QCOMPARE(p.value("Missing", "x"), QByteArray());
        QCOMPARE(p.value("Other", "key").size(), 255);
        QCOMPARE(p.value("Other", "cut"), QByteArray(254, 'x'));
        QCOMPARE(Profile(g.path(QStringLiteral("none.ini"))).value("Options", "x"), QByteArray());
    }

    void writingOneKeyKeepsEveryOtherLine()
    {
        Ground g;
        const QString path = g.path(QStringLiteral("t.ini"));
        const QByteArray original = "; keep me\r\n[Options]\r\nNews_Host=old.example\r\n# odd line\r\n"
                                    "garbage without equals\r\n\r\n[Sizing]\r\nTop=5\r\n";
        g.writeFile(QStringLiteral("t.ini"), original);
        Profile p(path);
        p.setValue("options", "news_host", "new.example");
        p.setValue("Options", "News_Port", "119");
        p.setValue("Options", "Top", "1");
        p.setValue("Column Sizes", "C1", "360");
        QVERIFY(p.save());
        QCOMPARE(g.readFile(QStringLiteral("t.ini")), QByteArray("; keep me\r\n[Options]\r\nNews_Host=new.example\r\n# odd line\r\n"
                                           "garbage without equals\r\nNews_Port=119\r\nTop=1\r\n\r\n[Sizing]\r\nTop=5\r\n"
                                           "[Column Sizes]\r\nC1=360\r\n"));
        // A value cannot break the file into two lines.
        p.setValue("Options", "News_Host", "a\r\nb=c");
        QVERIFY(p.save());
        QCOMPARE(Profile(path).value("Options", "News_Host"), QByteArray("a  b=c"));
        QCOMPARE(Profile(path).value("Sizing", "Top"), QByteArray("5"));
    }

    void failedWriteLeavesOldFile()
    {
        Ground g;
        const QString path = g.path(QStringLiteral("t.ini"));
        const QByteArray original = "[Options]\r\nNews_Host=kept.example\r\n";
        g.writeFile(QStringLiteral("t.ini"), original);
        auto halfWay = [](QIODevice& device, const QByteArray& content) {
            device.write(content.left(content.size() / 2));
            return false;
        };
        Profile p(path, halfWay);
        p.setValue("Options", "News_Host", "lost.example");
        p.setValue("Options", "User_Name", "someone");
        QVERIFY(!p.save());
        QVERIFY(!p.errorText().isEmpty());
        QCOMPARE(g.readFile(QStringLiteral("t.ini")), original);
        QCOMPARE(QDir(g.dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.ini")});
    }
};

TW_TEST(ProfileTest)
#include "profile_test.moc"
