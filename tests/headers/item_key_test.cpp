#include "headers/item_key.h"
#include "headers/subject.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

QByteArray keyOf(QByteArrayView subject)
{
    SubjectAnalysis a;
    analyseSubject(subject, a);
    return a.key;
}

} // namespace

class ItemKeyTest : public QObject {
    Q_OBJECT
private slots:
    void keysSplitIntoBaseAndTail()
    {
        // subject, base name; the parts window must show each subject as it came
        const QList<std::pair<QByteArray, QByteArray>> cases {
            { "My file.zip (1/5)", "My file.zip" },
            { "name.rar [03/12] more", "name.rar" },
            // Too short to be cut: the tail stored is the whole subject, not what follows the base.
            { "hello", "hello" },
        };
        for (const auto& [subject, base] : cases) {
            const QByteArray key = keyOf(subject);
            QVERIFY2(itemkey::hasSuffix(key), key.constData());
            QCOMPARE(itemkey::baseName(key), base);
            QCOMPARE(itemkey::partSubject(key, itemkey::partTail(key, subject)), subject);
        }

        // A single-part post quoting a key keeps the quote inside its own key.
        const QByteArray quoting = keyOf("Re: x [xx/0000005] y (1/1)");
        QCOMPARE(quoting, QByteArray("Re: x [xx/0000005] y"));
        QVERIFY(!itemkey::hasSuffix(quoting));
        QCOMPARE(itemkey::baseName(quoting), quoting);
        QCOMPARE(itemkey::partSubject(quoting, "y"), quoting);

        const QByteArray plain = "A subject without any counter";
        QCOMPARE(itemkey::baseName(plain), plain);
        // Header files hold this tail; the key's first bytes and it make the subject again.
        const QByteArrayView tail = itemkey::partTail(plain, plain);
        QCOMPARE(tail, QByteArrayView("t any counter"));
        QCOMPARE(plain.first(itemkey::tailStart(plain)) + tail.toByteArray(), plain);

        for (QByteArrayView damaged : { " [xx/0000012]", "[xx/0000012]", "x [xx/00a0012]", "x [xx/0000012)" }) {
            QVERIFY(!itemkey::hasSuffix(damaged));
            QCOMPARE(itemkey::baseName(damaged), damaged);
        }
    }
};

TW_TEST(ItemKeyTest)
#include "item_key_test.moc"
