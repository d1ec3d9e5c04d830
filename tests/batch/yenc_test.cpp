#include "batch/yenc.h"
#include "support/test_registry.h"
#include "support/yenc_encode.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QTest>

#include <limits>
#include <random>
#include <vector>

using yenc::Path;

namespace {

const Path kPaths[] = { Path::Scalar, Path::Ssse3, Path::Avx2 };

QByteArray decodedWith(Path p, QByteArrayView in)
{
    // The bytes after `out` must survive: a kernel may use n bytes of room and no more.
    QByteArray out(in.size() + 64, '\x5a');
    const size_t n = yenc::decodeWith(p, in.data(), size_t(in.size()), out.data());
    if (out.sliced(in.size()) != QByteArray(64, '\x5a'))
        return "wrote past the room it had";
    return out.first(qsizetype(n));
}

// Inputs that stress the vector kernels: runs of "=" of every length across 16-, 32- and 64-byte
// edges, escapes of CR and LF, lone line breaks, and a "=" as the very last byte.
std::vector<QByteArray> adversarialInputs()
{
    std::vector<QByteArray> inputs;
    for (int run = 1; run <= 70; ++run) {
        for (int at : { 0, 1, 14, 15, 16, 30, 31, 32, 47, 62, 63, 64, 65, 100 }) {
            QByteArray a = yenctest::randomBytes(200, unsigned(run * 1000 + at)).replace('=', 'a');
            a.replace(at, run, QByteArray(run, '='));
            a[qMin<qsizetype>(at + run, a.size() - 1)] = "\r\n="[run % 3];
            inputs.push_back(a.first(qMin<qsizetype>(a.size(), 130)));
            inputs.push_back(a.first(qMin<qsizetype>(at + run, a.size())));
        }
    }
    // Dense in "=", CR and LF, so every mix of them meets every position.
    std::mt19937 gen(7);
    for (int i = 0; i < 300; ++i) {
        QByteArray a(300, Qt::Uninitialized);
        for (char& c : a)
            c = "==\r\n=a\0*"[gen() % 8];
        inputs.push_back(a);
    }
    return inputs;
}

struct Fixture {
    QByteArray file = yenctest::randomBytes(20000, 42);
    // Three parts of a multipart post.
    QByteArray part(int i) const
    {
        const qint64 begin = 1 + (i - 1) * 7000, end = qMin<qint64>(i * 7000, file.size());
        return yenctest::article(file, begin, end, i, 3);
    }
};

} // namespace

class YEncTest : public QObject {
    Q_OBJECT

private slots:
    void decodeRule()
    {
        const struct {
            QByteArray in, out;
        } cases[] = {
            // Codes 42, 64 after "=" and 61 after "=" give 0, 214 and 211.
            { "*", QByteArray(1, '\0') },
            { "=@", "\xd6" },
            { "==", "\xd3" },
            // An escaped line break is a byte, a bare one never is.
            { "=\r", "\xa3" },
            { "=\n", "\xa0" },
            { "=\r\n", "\xa3" },
            { "a\r\nb\rc\nd", "\x37\x38\x39\x3a" },
            { "\r\n\r\n", "" },
            // A last "=" is dropped.
            { "abc=", "\x37\x38\x39" },
            { "=", "" },
            { "===", "\xd3" },
            { "====", "\xd3\xd3" },
        };
        for (const auto& c : cases) {
            for (Path p : kPaths)
                QCOMPARE(decodedWith(p, c.in), c.out);
        }
    }

    void simdMatchesScalar()
    {
        std::vector<QByteArray> inputs = adversarialInputs();
        inputs.push_back(yenctest::encode(yenctest::randomBytes(100000, 3)));
        inputs.push_back(yenctest::randomBytes(5000, 4));
        for (Path p : { Path::Ssse3, Path::Avx2 }) {
            if (!yenc::available(p))
                continue;
            for (const QByteArray& in : inputs) {
                const QByteArray expected = decodedWith(Path::Scalar, in);
                QCOMPARE(decodedWith(p, in), expected);
                QByteArray inPlace = in;
                inPlace.truncate(
                    qsizetype(yenc::decodeWith(p, inPlace.data(), size_t(inPlace.size()), inPlace.data())));
                QCOMPARE(inPlace, expected);
            }
            // Every length and alignment, on data with escapes at every offset.
            const QByteArray buffer = inputs[inputs.size() - 3]; // a dense one
            for (int align = 0; align < 64; ++align) {
                for (int n = 0; n <= 200; ++n) {
                    const QByteArrayView in = QByteArrayView(buffer).sliced(align, n);
                    QCOMPARE(decodedWith(p, in), decodedWith(Path::Scalar, in));
                }
            }
        }
    }

    void parseReadsOnlyKeywordLines()
    {
        const struct {
            QByteArray article;
            QString error;
            QByteArray name;
            qint64 size, begin, end;
        } cases[] = {
            // The decoy Subject's name=, size=, part=, begin= and "=ybegin " are not read.
            { yenctest::kDecoyHeaders + "=ybegin line=128 name=  my file size=9.bin \r\n*+,\r\n=yend size=3\r\n", {},
                "my file size=9.bin", -1, 1, 0 },
            { "=ybegin part=2 size=12\r\n=ypart begin=5 end=8\r\n*+,-\r\n=yend\r\n", {}, "", 12, 5, 8 },
            { "=ybegin part=2 size=12 name=x\r\n=ypart begin=13 end=13\r\n*\r\n=yend\r\n",
                "yEnc decoder Error: begin= 13 beyond the file's size 12 in part 2", "x", 12, 13, 13 },
            { "=ybegin size=12\r\n=ypart begin=0\r\n=yend\r\n", "yEnc decoder Error: begin= 0 is below 1", "", 12, 0,
                0 },
            { "=ybegin size=12\r\n=ypart begin=5 end=4\r\n=yend\r\n", "yEnc decoder Error: end= 4 before begin= 5", "",
                12, 5, 4 },
            { "=ybegin size=12\r\n=ypart begin=99999999999999999999 end=1\r\n=yend\r\n",
                "yEnc decoder Error: bad begin= value \"99999999999999999999\" on =ypart", "", 12, 1, 0 },
            { "=ybegin size=1x name=a\r\n*\r\n=yend\r\n", "yEnc decoder Error: bad size= value \"1x\" on =ybegin", "a",
                -1, 1, 0 },
            { "=ybegin size=1 name=a\r\n*\r\n", "yEnc decoder Error: no =yend", "a", 1, 1, 0 },
            { "Subject: x\r\nX: =ybegin size=1 name=a\r\n*\r\n=yend\r\n", "yEnc decoder: no =ybegin", "", -1, 1, 0 },
            { QByteArray(yenc::kHeaderWindow, 'h') + "\n=ybegin size=1 name=a\r\n*\r\n=yend\r\n",
                "yEnc decoder: no =ybegin", "", -1, 1, 0 },
        };
        for (const auto& c : cases) {
            const yenc::Parsed r = yenc::parse(c.article);
            QCOMPARE(r.error, c.error);
            QCOMPARE(yenc::IsYEnc(c.article), !c.error.startsWith(QStringLiteral("yEnc decoder: ")));
            QCOMPARE(yenc::yEncGetFilename(c.article), c.name);
            QCOMPARE(r.part.size, c.size);
            QCOMPARE(r.part.begin, c.begin);
            QCOMPARE(r.part.end, c.end);
        }
        // The first data byte is read like any other; the region ends before the CR LF of the "=yend"
        // line, so a last "=" escapes nothing.
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        const yenc::Written w = yenc::YDecodePart("=ybegin size=2 name=a\r\n\r*+=\r\n=yend size=2\r\n", out);
        QCOMPARE(w.error, QString());
        QCOMPARE(out.data(), QByteArray("\0\1", 2));
    }

    void partsAssembleInAnyOrder()
    {
        Fixture f;
        for (const QList<int>& order : { QList<int> { 1, 2, 3 }, { 3, 1, 2 }, { 2, 3, 1 } }) {
            QTemporaryFile file;
            QVERIFY(file.open());
            QBuffer buffer;
            buffer.open(QIODevice::ReadWrite);
            for (int i : order) {
                for (QIODevice* out : { static_cast<QIODevice*>(&file), static_cast<QIODevice*>(&buffer) }) {
                    const yenc::Written w = yenc::YDecodePart(f.part(i), *out);
                    QCOMPARE(w.error, QString());
                    QCOMPARE(w.offset, (i - 1) * 7000);
                }
                // pcrc32= is the part's CRC, crc32= the whole file's.
                const yenc::Part p = yenc::parse(f.part(i)).part;
                QCOMPARE(p.pcrc32,
                    std::optional<quint32>(
                        yenc::crc32(0, f.file.data() + (i - 1) * 7000, size_t(p.end - p.begin + 1))));
                QCOMPARE(p.crc32, std::optional<quint32>(yenc::crc32(0, f.file.data(), size_t(f.file.size()))));
            }
            QCOMPARE(buffer.data(), f.file);
            file.seek(0);
            QCOMPARE(file.readAll(), f.file);
        }
        // A longer file is written into, never cut.
        QBuffer out;
        out.setData(QByteArray(30000, 'x'));
        out.open(QIODevice::ReadWrite);
        QCOMPARE(yenc::YDecodePart(yenctest::article(f.file, 1, f.file.size()), out).error, QString());
        QCOMPARE(out.data(), f.file + QByteArray(10000, 'x'));
    }

    void verificationFailuresAfterWriting()
    {
        Fixture f;
        const QByteArray part2 = f.part(2);
        const QByteArray single = yenctest::article(f.file, 1, 100);
        const QByteArray crc2 = part2.sliced(part2.indexOf("pcrc32=") + 7, 8);
        const QByteArray crc1 = single.sliced(single.indexOf(" crc32=") + 7, 8);
        const struct {
            QByteArray article;
            QString error;
        } cases[] = {
            { QByteArray(part2).replace("=yend size=7000", "=yend size=6999"),
                "yEnc decoder Error: size mismatch in part 2 (=yend size 6999, decoded 7000)" },
            { QByteArray(part2).replace("end=14000", "end=14001"),
                "yEnc decoder Error: part length mismatch in part 2 (=ypart spans 7001, decoded 7000)" },
            { QByteArray(part2).replace("pcrc32=" + crc2, "pcrc32=0badf00d"),
                QString::fromLatin1(
                    "yEnc decoder Error: CRC mismatch in part 2 (expected 0badf00d, got " + crc2 + ")") },
            { QByteArray(single).replace("crc32=" + crc1, "crc32=1A2B3C4D"),
                QString::fromLatin1("yEnc decoder Error: CRC mismatch (expected 1a2b3c4d, got " + crc1 + ")") },
        };
        for (const auto& c : cases) {
            QBuffer out;
            out.open(QIODevice::ReadWrite);
            const yenc::Written w = yenc::YDecodePart(c.article, out);
            QCOMPARE(w.error, c.error);
            QCOMPARE(out.data().right(w.bytes), f.file.sliced(w.offset, w.bytes));
        }
    }

    void hostileInputsWriteNothing()
    {
        // A begin near the largest offset with no end= to bound the part: nothing may be written.
        const QByteArray huge = QByteArray::number(std::numeric_limits<qint64>::max());
        const QByteArray article = "=ybegin part=1 size=" + huge + "\r\n=ypart begin=" + huge + "\r\n*+\r\n=yend\r\n";
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        QCOMPARE(yenc::YDecodePart(article, out).error,
            QStringLiteral("yEnc decoder Error: part ends beyond the largest file offset in part 1"));
        QCOMPARE(yenc::YDecodePart("=ybegin size=1 name=a\r\n*\r\n", out).error,
            QStringLiteral("yEnc decoder Error: no =yend"));
        QCOMPARE(out.size(), 0);
    }
};

TW_TEST(YEncTest)
#include "yenc_test.moc"
