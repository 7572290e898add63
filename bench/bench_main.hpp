#pragma once
// The main of the benchmarks that measure whole photographs: freed memory is kept for the next
// photograph, as the command-line tool keeps it.

#include <benchmark/benchmark.h>

#include "imaging/heap.hpp"

#define KARVONA_BENCHMARK_MAIN()                          \
    int main(int argc, char** argv) {                     \
        karvona::imaging::KeepFreedMemoryForReuse();      \
        benchmark::Initialize(&argc, argv);               \
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1; \
        benchmark::RunSpecifiedBenchmarks();              \
        benchmark::Shutdown();                            \
        return 0;                                         \
    }
