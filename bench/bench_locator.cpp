// The code-region locator on drawn photographs of 640 x 480 and 1024 x 768 pixels.
//
// Each call allocates its working images afresh and releases them (about 2.5 MB for 640 x 480).
// The main keeps freed memory in the process, as the command-line tool does; without that every
// call would fault its images in again page by page, which on a virtual machine costs as much as
// the image work itself.
#include <benchmark/benchmark.h>

#include "bench_main.hpp"

#include "drawn_photos.hpp"
#include "recognition/locator.hpp"

namespace {

cv::Mat Photo(int width, int height) {
    karvona::testing::CodeDrawing d;
    d.frame = cv::Size(width, height);
    d.layout = 0;
    d.charHeight = height / 16;
    d.charWidth = (d.charHeight - 1) / 2;
    d.noiseSigma = 6.0;
    return karvona::testing::DrawCodePhoto(d).image;
}

void BM_FindIsoCharacters(benchmark::State& state) {
    const cv::Mat photo = Photo(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int layout = -1;
    for (auto _ : state) {
        cv::Mat region = karvona::recognition::FindIsoCharacters(photo, nullptr, nullptr, &layout);
        benchmark::DoNotOptimize(region.data);
    }
    state.counters["layout"] = layout;
}

}  // namespace

BENCHMARK(BM_FindIsoCharacters)
    ->Args({640, 480})
    ->Args({1024, 768})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

KARVONA_BENCHMARK_MAIN()
