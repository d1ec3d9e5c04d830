// The yEnc decoder on a ~750 kB article as posting programs write it (128-column lines, CR LF,
// escapes of NUL, LF, CR, "=" and of blanks and dots at line edges): each decode path that this CPU
// runs, the CRC32, and a whole part decoded and written.
#include "batch/yenc.h"
#include "support/yenc_encode.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QTemporaryFile>

namespace {

constexpr qsizetype kPartBytes = 730'000;

struct Article {
    QByteArray file = yenctest::randomBytes(3 * kPartBytes, 2024);
    QByteArray text = yenctest::article(file, kPartBytes + 1, 2 * kPartBytes, 2, 3);
    yenc::Part part = yenc::parse(text).part;
    QByteArrayView region() const { return QByteArrayView(text).sliced(part.dataStart, part.dataEnd - part.dataStart); }
};

const Article& article()
{
    static const Article a;
    return a;
}

void BM_Decode(benchmark::State& state, yenc::Path path)
{
    const QByteArrayView in = article().region();
    QByteArray out(in.size(), Qt::Uninitialized);
    size_t n = 0;
    for (auto _ : state) {
        n = yenc::decodeWith(path, in.data(), size_t(in.size()), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    if (n != size_t(kPartBytes))
        state.SkipWithError("decoded the wrong number of bytes");
    state.SetBytesProcessed(state.iterations() * in.size());
    state.counters["overhead_pct"] = 100.0 * double(in.size() - kPartBytes) / double(kPartBytes);
}

void BM_Crc32(benchmark::State& state)
{
    const QByteArray& data = article().file;
    for (auto _ : state)
        benchmark::DoNotOptimize(yenc::crc32(0, data.constData(), size_t(kPartBytes)));
    state.SetBytesProcessed(state.iterations() * kPartBytes);
}

// Parse, decode, CRC, write and verify, as the batch decoding runs it for every part.
void decodePart(benchmark::State& state, QIODevice& out)
{
    const QByteArray& text = article().text;
    for (auto _ : state) {
        const yenc::Written w = yenc::YDecodePart(text, out);
        if (!w.error.isEmpty()) {
            state.SkipWithError(qPrintable(w.error));
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_YDecodePartBuffer(benchmark::State& state)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    decodePart(state, out);
}

void BM_YDecodePartFile(benchmark::State& state)
{
    QTemporaryFile out;
    if (!out.open()) {
        state.SkipWithError("no temporary file");
        return;
    }
    decodePart(state, out);
}

} // namespace

int main(int argc, char** argv)
{
    const std::pair<const char*, yenc::Path> paths[] = { { "BM_Decode/Scalar", yenc::Path::Scalar },
        { "BM_Decode/Ssse3", yenc::Path::Ssse3 }, { "BM_Decode/Avx2", yenc::Path::Avx2 } };
    for (const auto& [name, path] : paths) {
        if (yenc::available(path))
            benchmark::RegisterBenchmark(name, BM_Decode, path);
    }
    benchmark::RegisterBenchmark("BM_Crc32", BM_Crc32);
    benchmark::RegisterBenchmark("BM_YDecodePartBuffer", BM_YDecodePartBuffer);
    benchmark::RegisterBenchmark("BM_YDecodePartFile", BM_YDecodePartFile);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
