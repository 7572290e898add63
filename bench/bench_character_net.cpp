// The character network on the eleven boxes of one reading in one forward run, on one thread, as
// the reading plan asks it for each reading of eleven boxes of a look that did not validate; the
// line network on one region, as the plan asks it where no reader's boxes gave a code; the chain
// reader on a 1024 x 768 photograph, as the plan reads one that no look read sure.
#include <benchmark/benchmark.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/character_net.hpp"
#include "classifier/line_net.hpp"
#include "recognition/chain_reader.hpp"

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

// The shipped character network, or the benchmark skipped with the reason.
bool LoadShippedNet(benchmark::State& state, CharacterNetModel& model) {
    std::string error;
    if (LoadCharacterNet(KARVONA_SOURCE_DIR "/data", model, error))
        return true;
    state.SkipWithError(error.c_str());
    return false;
}

void BM_CharacterNetLook(benchmark::State& state) {
    cv::setNumThreads(1);
    CharacterNetModel model;
    if (!LoadShippedNet(state, model))
        return;
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

void BM_ChainReader(benchmark::State& state) {
    cv::setNumThreads(1);
    CharacterNetModel model;
    if (!LoadShippedNet(state, model))
        return;
    CharacterNet net(model);
    const cv::Mat gray =
        cv::imread(KARVONA_SOURCE_DIR "/samples/synth_000002.jpg", cv::IMREAD_GRAYSCALE);
    if (gray.empty()) {
        state.SkipWithError("samples/synth_000002.jpg is not there");
        return;
    }
    size_t pieces = 0;
    for (auto _ : state) {
        std::vector<karvona::recognition::ChainPiece> found =
            karvona::recognition::FindChainPieces(gray);
        pieces = found.size();
        karvona::recognition::ReadPieces(net, found);
        benchmark::DoNotOptimize(karvona::recognition::FindChains(found));
    }
    state.counters["pieces"] = static_cast<double>(pieces);
}
BENCHMARK(BM_ChainReader)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The pieces alone: the binarisations and their components.
void BM_ChainPieces(benchmark::State& state) {
    cv::setNumThreads(1);
    const cv::Mat gray =
        cv::imread(KARVONA_SOURCE_DIR "/samples/synth_000002.jpg", cv::IMREAD_GRAYSCALE);
    for (auto _ : state)
        benchmark::DoNotOptimize(karvona::recognition::FindChainPieces(gray));
}
BENCHMARK(BM_ChainPieces)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
