#include "batch/uu_library.h"
#include "support/articles.h"
#include "support/temp_folder.h"
#include "support/test_registry.h"

#include <QDirIterator>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray kData = articles::randomBytes(5000, 7);

// A stored article as the cache holds it.
QByteArray article(const QByteArray& subject, const QByteArray& body, const QByteArray& headers = {})
{
    static int id = 0;
    return articles::article(subject, "<" + QByteArray::number(++id) + "@x>", body, headers);
}

QByteArray uuencoded(const QByteArray& name)
{
    return articles::uuBody(kData, name, true, true);
}

QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A cache folder, the library's temporary folder ($TMPDIR while the fixture lives) and a session.
struct Session {
    TempFolder tmp;
    QString libraryTemp;
    QByteArray savedTmpDir = qgetenv("TMPDIR");
    std::unique_ptr<UuLibrary> lib;

    explicit Session(const QString& temp = {})
        : libraryTemp(temp.isEmpty() ? tmp.path("libtmp") : temp)
    {
        QDir().mkpath(libraryTemp);
        qputenv("TMPDIR", QFile::encodeName(libraryTemp));
        lib = std::make_unique<UuLibrary>();
    }
    ~Session()
    {
        lib.reset();
        savedTmpDir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTmpDir);
    }
    // Stores the articles as "1.uue", "2.uue", ... and loads them in the given order.
    void load(const QByteArrayList& articles, QList<int> order = {})
    {
        for (int i = order.size(); i < articles.size(); ++i)
            order << i;
        for (int i : order) {
            const QString name = QString::number(i + 1) + QStringLiteral(".uue");
            tmp.writeFile(name, articles[i]);
            QCOMPARE(lib->loadFile(tmp.path(name)), UuLibrary::Ok);
        }
    }
};

} // namespace

class UuLibraryTest : public QObject {
    Q_OBJECT
private slots:
    void decodesWholeFiles()
    {
        const QByteArray& data = kData;
        const QByteArrayList multi = articles::uuBodies(data, "multi.bin", 3);
        QByteArray b64;
        for (qsizetype i = 0; i < data.size(); i += 57)
            b64 += data.mid(i, 57).toBase64() + "\r\n";
        const QByteArray mime = "MIME-Version: 1.0\r\nContent-Type: application/octet-stream; name=\"pic.jpg\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n";
        struct Case {
            QByteArrayList articles;
            QList<int> order;
            QByteArray name;
            UuLibrary::Encoding encoding;
        };
        const QList<Case> cases {
            { { article("single.bin (1/1)", uuencoded("single.bin")) }, {}, "single.bin", UuLibrary::Encoding::Uu },
            { { article("multi.bin [1/3]", multi[0]), article("multi.bin [2/3]", multi[1]),
                  article("multi.bin [3/3]", multi[2]) },
                { 2, 0, 1 }, "multi.bin", UuLibrary::Encoding::Uu },
            { { article("pictures (1/1)", b64, mime) }, {}, "pic.jpg", UuLibrary::Encoding::Base64 },
        };
        const mode_t mask = ::umask(0);
        ::umask(mask);
        // The result is linked out of the library's folder on the same file system, else copied.
        QTemporaryDir otherDevice(QStringLiteral("/dev/shm/twuu-XXXXXX"));
        for (const QString& temp : { QString(), otherDevice.path() }) {
            for (const Case& c : cases) {
                Session s(temp);
                s.load(c.articles, c.order);
                QCOMPARE(s.lib->itemCount(), 1);
                QCOMPARE(s.lib->item(0).fileName, c.name);
                QCOMPARE(s.lib->item(0).encoding, c.encoding);
                QCOMPARE(s.lib->item(0).state, UuLibrary::Complete);
                const QString out = s.tmp.path(c.name);
                QCOMPARE(s.lib->decode(0, out), UuLibrary::Ok);
                QVERIFY2(s.tmp.readFile(c.name) == data, c.name);
                struct stat st;
                QCOMPARE(::stat(QFile::encodeName(out).constData(), &st), 0);
                QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
                QCOMPARE(filesUnder(s.libraryTemp), QStringList());
            }
        }
    }

    void reportsWhatCannotBeDecoded()
    {
        const QByteArrayList parts = articles::uuBodies(kData, "multi.bin", 3);
        {
            // The part counters tell a middle part is missing: no file is written, not even a partial one.
            Session s;
            s.load({ article("multi.bin (1/3)", parts[0]), article("multi.bin (3/3)", parts[2]) });
            QCOMPARE(s.lib->itemCount(), 1);
            QCOMPARE(s.lib->item(0).fileName, QByteArray("multi.bin"));
            QCOMPARE(s.lib->item(0).state, UuLibrary::MissingParts);
            QCOMPARE(s.lib->decode(0, s.tmp.path("partial.bin")), UuLibrary::NoEnd);
            QCOMPARE(s.lib->decode(1, s.tmp.path("none.bin")), UuLibrary::IllegalValue);
            QCOMPARE(filesUnder(s.tmp.path("")), QStringList({ "1.uue", "2.uue" }));
        }
        {
            // Handling text messages, the library makes a plain-text article an item; an empty one gives none.
            Session s;
            s.load({ article("hello", "Just some text\r\nand more\r\n"), QByteArray() });
            QCOMPARE(s.lib->itemCount(), 1);
            QCOMPARE(s.lib->item(0).encoding, UuLibrary::Encoding::PlainText);
            QCOMPARE(s.lib->item(0).fileName, QByteArray("0001.txt"));
            QCOMPARE(s.lib->lastMessage().severity, 1);
            QVERIFY(s.lib->lastMessage().text.contains("No encoded data found in " + s.tmp.path("2.uue")));
            QCOMPARE(s.lib->loadFile(s.tmp.path("gone.uue")), UuLibrary::IoError);
            QCOMPARE(s.lib->lastMessage().severity, 3);
            QVERIFY(s.lib->lastMessage().text.contains(s.tmp.path("gone.uue")));
        }
    }

    void writesOnlyTheOutputPath()
    {
        // The library drops directory parts itself, but a bare ".." comes through as posted.
        const QList<std::pair<QByteArray, QByteArray>> hostile { { "../../evil", "evil" }, { "..", ".." } };
        for (const auto& [posted, listed] : hostile) {
            Session s;
            s.load({ article(posted + " (1/1)", uuencoded(posted)) });
            QCOMPARE(s.lib->item(0).fileName, listed);
            QCOMPARE(s.lib->decode(0, s.tmp.path("out")), UuLibrary::Ok);
            QCOMPARE(filesUnder(s.tmp.path("")), QStringList({ "1.uue", "out" }));
        }

        Session s;
        s.load({ article("file.zip (1/1)", uuencoded("file.zip")) });
        // Neither a file nor a link, even one pointing nowhere, is replaced or followed.
        s.tmp.writeFile("file.zip", "keep");
        QVERIFY(QFile::link(s.tmp.path("nowhere"), s.tmp.path("link.zip")));
        for (const char* taken : { "file.zip", "link.zip" })
            QCOMPARE(s.lib->decode(0, s.tmp.path(taken)), UuLibrary::Exists);
        QCOMPARE(s.tmp.readFile("file.zip"), QByteArray("keep"));
        QVERIFY(!QFileInfo::exists(s.tmp.path("nowhere")));
        // A failed copy is an I/O error whose message names the path.
        QCOMPARE(s.lib->decode(0, s.tmp.path("missing/file.zip")), UuLibrary::IoError);
        QVERIFY(s.lib->lastMessage().text.contains(s.tmp.path("missing/file.zip")));
        QCOMPARE(filesUnder(s.libraryTemp), QStringList());

        for (const auto& [name, expected] : hostile)
            QCOMPARE(s.lib->filterName(name), expected);
        QCOMPARE(s.lib->filterName("C:\\files\\a.zip"), QByteArray("a.zip"));
    }

    void allowsOneSessionAtATime()
    {
        Session s;
        QVERIFY(s.lib->ok());
        s.load({ article("one.bin (1/1)", uuencoded("one.bin")) });
        {
            UuLibrary second;
            QVERIFY(!second.ok());
            QCOMPARE(second.loadFile(s.tmp.path("1.uue")), UuLibrary::IllegalValue);
            QCOMPARE(second.decode(0, s.tmp.path("two.bin")), UuLibrary::IllegalValue);
        }
        // Ending the unusable session left the first one's items alone.
        QCOMPARE(s.lib->decode(0, s.tmp.path("one.bin")), UuLibrary::Ok);
        s.lib.reset();
        UuLibrary third;
        QVERIFY(third.ok());
        QCOMPARE(third.itemCount(), 0);
    }
};

TW_TEST(UuLibraryTest)
#include "uu_library_test.moc"
