#include "app/password.h"
#include "app/profile.h"
#include "support/test_registry.h"

#include <QTemporaryDir>
#include <QTest>

class PasswordTest : public QObject {
    Q_OBJECT
private slots:
    void everyByteSurvivesTheFile()
    {
        QTemporaryDir dir;
        Profile writer(dir.filePath(QStringLiteral("p.ini")));
        // Each byte alone puts it at both ends of the stored form, where trimming bites.
        for (int code = 1; code <= 255; ++code) {
            const QByteArray plain(1, static_cast<char>(code));
            const QByteArray stored = ScramblePassword(plain);
            QCOMPARE(stored.size(), 2);
            writer.setValue("Options", "User_PWX", stored);
            QVERIFY(writer.save());
            const QByteArray reread = Profile(writer.path()).value("Options", "User_PWX");
            QVERIFY2(UnscramblePassword(reread) == plain, qPrintable(QString::number(code)));
        }
        // Longer passwords in pieces that fit the 255-byte value limit.
        for (int first = 1; first <= 255; first += 100) {
            QByteArray piece;
            for (int code = first; code < first + 100 && code <= 255; ++code)
                piece += static_cast<char>(code);
            writer.setValue("Options", "User_PWX", ScramblePassword(piece));
            QVERIFY(writer.save());
            QCOMPARE(UnscramblePassword(Profile(writer.path()).value("Options", "User_PWX")), piece);
        }
        QCOMPARE(UnscramblePassword(QByteArray()), QByteArray());
        // Older stored forms: fillers 30-149 followed by the byte raised by the shift.
        QCOMPARE(UnscramblePassword("\x1e"
                                    "d"
                                    "\x95"
                                    "f"),
            QByteArray("ac"));
        QCOMPARE(UnscramblePassword("Xd?"), QByteArray("a"));
    }
};

TW_TEST(PasswordTest)
#include "password_test.moc"
