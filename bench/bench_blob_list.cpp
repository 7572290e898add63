// Labelling a 1024 x 768 binary image with about 200 character-sized blobs.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>
#include <random>

#include "imaging/blob_list.hpp"

static cv::Mat MakeBlobImage() {
    cv::Mat img(768, 1024, CV_8UC1, cv::Scalar(0));
    std::mt19937 rng(7);
    for (int k = 0; k < 200; ++k) {
        const int x = static_cast<int>(rng() % 980), y = static_cast<int>(rng() % 720);
        const int w = 8 + static_cast<int>(rng() % 30), h = 10 + static_cast<int>(rng() % 40);
        cv::ellipse(img, cv::Point(x + w / 2, y + h / 2), cv::Size(w / 2, h / 2), 0, 0, 360,
                    cv::Scalar(255), 2);
    }
    return img;
}

static void BM_LabelBlobs(benchmark::State& state) {
    const cv::Mat img = MakeBlobImage();
    karvona::imaging::CBlobList list;
    int count = 0;
    for (auto _ : state) {
        list.SetImage(img, 10);
        count = list.Label();
        benchmark::DoNotOptimize(count);
    }
    state.counters["blobs"] = count;
}
BENCHMARK(BM_LabelBlobs)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
