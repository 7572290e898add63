// The character network on the eleven boxes of one reading in one forward run, on one thread, as
// the reading plan asks it for each reading of eleven boxes of a look that did not validate; the
// line network on one region, as the plan asks it where no reader's boxes gave a code.
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/character_net.hpp"
#include "classifier/line_net.hpp"

namespace {

using namespace karvona::classifier;

std::vector<cv::Mat> Crops() {
    std::vector<cv::Mat> crops;
    const std::string text = "CSQU3054383";
    for (int k = 0; k < 11; ++k) {
        cv::Mat canvas(40, 30, CV_8UC1, cv::Scalar(0));
        cv::putText(canvas, std::string(1, text[k]), {2, 36}, cv::FONT_HERSHEY_SIMPLEX, 1.2,
                    cv::Scalar(255), 3);
        crops.push_back(canvas);
    }
    return crops;
}

void BM_CharacterNetLook(benchmark::State& state) {
    cv::setNumThreads(1);
    CharacterNetModel model;
    std::string error;
    if (!LoadCharacterNet(KARVONA_SOURCE_DIR "/data", model, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    CharacterNet net(model);
    const std::vector<cv::Mat> crops = Crops();
    for (auto _ : state)
        benchmark::DoNotOptimize(net.Read(crops));
}
BENCHMARK(BM_CharacterNetLook)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_LineNetRegion(benchmark::State& state) {
    cv::setNumThreads(1);
    LineNetModel model;
    std::string error;
    if (!LoadLineNet(KARVONA_SOURCE_DIR "/data", model, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    LineNet net(model);
    cv::Mat region(70, 560, CV_8UC3, cv::Scalar(90, 60, 30));
    cv::putText(region, "CSQU 305438 3", {180, 48}, cv::FONT_HERSHEY_SIMPLEX, 1.0,
                cv::Scalar(230, 230, 230), 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(net.Read(region));
}
BENCHMARK(BM_LineNetRegion)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
