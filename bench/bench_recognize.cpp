// One photograph, 640 x 480, decoded and recognized on one thread; and each stage alone.
#include <benchmark/benchmark.h>

#include "bench_main.hpp"

#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/locator.hpp"
#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"

using namespace karvona;
using namespace karvona::recognition;

namespace {

struct Setup {
    classifier::CLvqCluster letters, digits;
    classifier::COwnerPrefixList prefixes;
    std::vector<uchar> jpeg;
    cv::Mat photo;
    Setup() {
        auto glyph = [](char c) { return karvona::testing::GlyphMask(c, {16, 30}); };
        letters = test_support::GlyphCodebook(false, glyph);
        digits = test_support::GlyphCodebook(true, glyph);
        karvona::testing::CodeDrawing d;
        d.text = "ABCU1234560";
        d.noiseSigma = 6.0;
        photo = karvona::testing::DrawCodePhoto(d).image;
        cv::imencode(".jpg", photo, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    }
    ReferenceData View() const { return {&letters, &digits, &prefixes}; }
};

const Setup& Shared() {
    static const Setup setup;
    return setup;
}

}  // namespace

static void BM_RecognizeImage(benchmark::State& state) {
    const Setup& s = Shared();
    Recognizer recognizer(s.View());
    for (auto _ : state) {
        const cv::Mat decoded = cv::imdecode(s.jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(recognizer.RecognizeLoaded(decoded));
    }
    state.SetLabel(recognizer.resultText);
}
BENCHMARK(BM_RecognizeImage)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

static void BM_Locator(benchmark::State& state) {
    const Setup& s = Shared();
    for (auto _ : state) {
        int layout = -1;
        benchmark::DoNotOptimize(FindIsoCharacters(s.photo, nullptr, nullptr, &layout));
    }
}
BENCHMARK(BM_Locator)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

static void BM_Readers(benchmark::State& state) {
    const Setup& s = Shared();
    int layout = -1;
    const cv::Mat region = FindIsoCharacters(s.photo, nullptr, nullptr, &layout);
    cv::Mat strip(150, 1100, CV_8UC3);
    const bool cluster = state.range(0) == 1;
    for (auto _ : state) {
        cv::Mat copy = region.clone();
        Reading reading;
        benchmark::DoNotOptimize(
            cluster ? ReadByClusterSegmentation(copy, layout, strip, s.View(), {}, reading)
                    : ReadByMorphology(copy, layout, strip, s.View(), {}, reading));
    }
    state.SetLabel(cluster ? "cluster reader" : "morphology reader");
}
BENCHMARK(BM_Readers)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same photograph read by the single pass alone (karvona read --strict), as every reading
// was before the reading plan. Without an owner list the code never validates, so the plan
// above takes every look it has: its worst case for a photograph with a code region.
static void BM_RecognizeImageStrict(benchmark::State& state) {
    const Setup& s = Shared();
    Recognizer recognizer(s.View());
    recognizer.options.strict = true;
    for (auto _ : state) {
        const cv::Mat decoded = cv::imdecode(s.jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(recognizer.RecognizeLoaded(decoded));
    }
    state.SetLabel(recognizer.resultText);
}
BENCHMARK(BM_RecognizeImageStrict)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

namespace {

// The reference data with "ABCU" in the owner list, so that the photograph's code validates.
ReferenceData ValidatingView() {
    static const classifier::COwnerPrefixList prefixes = [] {
        const std::string path = "/tmp/karvona-bench-prefixes.txt";
        { std::ofstream(path) << "ABCU\n"; }
        classifier::COwnerPrefixList list;
        list.LoadPrefixFile(path);
        std::remove(path.c_str());
        return list;
    }();
    ReferenceData view = Shared().View();
    view.prefixes = &prefixes;
    return view;
}

}  // namespace

// A photograph whose code validates: arg 0 the single pass alone, arg 1 the plan, which stops
// after its first look when that reading is sure.
static void BM_RecognizeValidated(benchmark::State& state) {
    const Setup& s = Shared();
    Recognizer recognizer(ValidatingView());
    recognizer.options.strict = state.range(0) == 0;
    for (auto _ : state) {
        const cv::Mat decoded = cv::imdecode(s.jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(recognizer.RecognizeLoaded(decoded));
    }
    state.SetLabel(recognizer.resultText +
                   (state.range(0) == 0 ? " strict" : " " + recognizer.result.pass));
}
BENCHMARK(BM_RecognizeValidated)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A 1920 x 1080 photograph of characters 56 pixels tall whose code validates, decoded and read
// by the plan at its working scale (1024 x 576).
static void BM_RecognizeFullHd(benchmark::State& state) {
    static const std::vector<uchar> jpeg = [] {
        karvona::testing::CodeDrawing d;
        d.text = "ABCU1234560";
        d.frame = {1920, 1080};
        d.charHeight = 56;
        d.gapAcross = 15;
        d.gapDown = 17;
        d.noiseSigma = 6.0;
        std::vector<uchar> bytes;
        cv::imencode(".jpg", karvona::testing::DrawCodePhoto(d).image, bytes,
                     {cv::IMWRITE_JPEG_QUALITY, 90});
        return bytes;
    }();
    Recognizer recognizer(ValidatingView());
    for (auto _ : state) {
        const cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(recognizer.RecognizeLoaded(decoded));
    }
    state.SetLabel(recognizer.resultText + " " + recognizer.result.pass);
}
BENCHMARK(BM_RecognizeFullHd)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

KARVONA_BENCHMARK_MAIN()
