#pragma once

// The main of every benchmark program: the code under test runs inside a Qt application, whose
// event loop the program's long loops hand control to.

#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace bench {

inline int runWithQt(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench

#define TW_BENCHMARK_QT_MAIN()                                                                                         \
    int main(int argc, char** argv) { return bench::runWithQt(argc, argv); }
