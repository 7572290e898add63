// Each stage of the reading pass alone, on the drawn 640 x 480 photograph of bench_recognize
// (argument 0) and on the demo photograph of 1024 x 768 (argument 1, samples/synth_000002.jpg):
// decoding, grey, one 31 x 31 blur by OpenCV, the blur of grey and inverted grey together (as the
// evidence image makes them), detail and Otsu, Canny, the character-shaped blob filter of
// one binary image, the whole evidence image, the line masks, the seed labelling, the whole search
// (evidence, masks, seeds and the hypothesis scoring), the extraction, each reader and one
// classification with the shipped codebooks (data/; the drawn-glyph codebook when they are
// missing). The search's own scoring is the search less evidence, masks and seeds.
#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_main.hpp"
#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "imaging/gaussian_pair.hpp"
#include "recognition/evidence.hpp"
#include "recognition/extraction.hpp"
#include "recognition/line_masks.hpp"
#include "recognition/locator.hpp"
#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

using namespace karvona;
using namespace karvona::recognition;

namespace {

struct Photo {
    std::vector<uchar> file;  ///< the photograph as a JPEG file
    cv::Mat image;            ///< decoded
    cv::Mat grey, binary, evidence, masked;
    BestHypothesis best;
    cv::Mat region;
    cv::Mat crop;  ///< the first character the morphology reader classifies
};

struct Shared {
    ReferenceDataSet data;
    ReferenceData view;
    Photo photos[2];

    Shared() {
        std::vector<std::string> messages;
        LoadReferenceData(KARVONA_SOURCE_DIR "/data", data, messages);
        if (!data.lettersLoaded || !data.digitsLoaded) {
            auto glyph = [](char c) { return karvona::testing::GlyphMask(c, {16, 30}); };
            data.letters = test_support::GlyphCodebook(false, glyph);
            data.digits = test_support::GlyphCodebook(true, glyph);
            data.lettersLoaded = data.digitsLoaded = true;
        }
        view = data.View();

        karvona::testing::CodeDrawing d;
        d.text = "ABCU1234560";
        d.noiseSigma = 6.0;
        cv::imencode(".jpg", karvona::testing::DrawCodePhoto(d).image, photos[0].file,
                     {cv::IMWRITE_JPEG_QUALITY, 90});
        LoadPhotograph(KARVONA_SOURCE_DIR "/samples/synth_000002.jpg", photos[1].image);
        cv::imencode(".jpg", photos[1].image, photos[1].file, {cv::IMWRITE_JPEG_QUALITY, 90});

        for (Photo& p : photos) {
            p.image = cv::imdecode(p.file, cv::IMREAD_COLOR);
            cv::cvtColor(p.image, p.grey, cv::COLOR_RGB2GRAY);
            cv::Mat blurred;
            cv::GaussianBlur(p.grey, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
            cv::subtract(p.grey, blurred, p.binary);
            cv::threshold(p.binary, p.binary, 255, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
            p.evidence = BuildCharacterEvidence(p.image);
            cv::Mat evidence = p.evidence.clone();
            p.masked = BuildLineMasks(evidence, nullptr).masked;
            p.best = SearchLayouts(p.image, nullptr);
            p.region = FindIsoCharacters(p.image, nullptr, nullptr, nullptr);

            int layout = -1;
            FindIsoCharacters(p.image, nullptr, nullptr, &layout);
            cv::Mat copy = p.region.clone();
            cv::Mat strip(150, 1100, CV_8UC3);
            Reading reading;
            if (!copy.empty())
                ReadByMorphology(copy, layout, strip, view, {}, reading);
            if (!reading.characters.empty())
                p.crop = reading.characters[0].crop;
        }
    }
};

const Shared& Data() {
    static const Shared shared;
    return shared;
}

const Photo& PhotoOf(const benchmark::State& state) {
    return Data().photos[state.range(0)];
}

void BM_Decode(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(cv::imdecode(p.file, cv::IMREAD_COLOR).data);
}

void BM_Grey(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    cv::Mat grey;
    for (auto _ : state)
        cv::cvtColor(p.image, grey, cv::COLOR_RGB2GRAY);
}

void BM_Blur31(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    cv::Mat blurred;
    for (auto _ : state)
        cv::GaussianBlur(p.grey, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
}

void BM_BlurPair(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    cv::Mat blurred, inverseBlurred;
    for (auto _ : state)
        imaging::GaussianBlurWithInverse(p.grey, 31, blurred, inverseBlurred);
}

void BM_DetailOtsu(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    cv::Mat blurred, detail;
    cv::GaussianBlur(p.grey, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
    for (auto _ : state) {
        cv::subtract(p.grey, blurred, detail);
        cv::threshold(detail, detail, 255, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    }
}

void BM_Canny(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    cv::Mat edges;
    for (auto _ : state)
        cv::Canny(p.binary, edges, 50, 200, 3);
}

void BM_CharacterShapedBlobs(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    imaging::CBlobList blobs;
    cv::Mat binary;
    for (auto _ : state) {
        p.binary.copyTo(binary);
        KeepCharacterShapedBlobs(binary, blobs);
    }
}

void BM_Evidence(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    imaging::CBlobList blobs;
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildCharacterEvidence(p.image, {}, blobs).data);
}

void BM_LineMasks(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    imaging::CBlobList blobs;
    cv::Mat evidence;
    for (auto _ : state) {
        p.evidence.copyTo(evidence);
        benchmark::DoNotOptimize(BuildLineMasks(evidence, nullptr, {}, blobs).masked.data);
    }
}

void BM_SeedLabel(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    imaging::CBlobList seeds;
    for (auto _ : state) {
        seeds.SetImage(p.masked, 50);
        benchmark::DoNotOptimize(seeds.Label());
    }
}

void BM_Search(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(SearchLayouts(p.image, nullptr).score);
}

void BM_Extraction(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ExtractCharacterSet(p.image, p.best.layout, p.best.boxes.count, p.best.boxes.boxes, {})
                .data);
}

void BM_Reader(benchmark::State& state, bool cluster) {
    const Photo& p = PhotoOf(state);
    int layout = p.best.layout;
    cv::Mat strip(150, 1100, CV_8UC3);
    cv::Mat copy;
    for (auto _ : state) {
        p.region.copyTo(copy);
        Reading reading;
        benchmark::DoNotOptimize(
            cluster ? ReadByClusterSegmentation(copy, layout, strip, Data().view, {}, reading)
                    : ReadByMorphology(copy, layout, strip, Data().view, {}, reading));
    }
}
void BM_MorphologyReader(benchmark::State& state) {
    BM_Reader(state, false);
}
void BM_ClusterReader(benchmark::State& state) {
    BM_Reader(state, true);
}

void BM_ClassifyCharacter(benchmark::State& state) {
    const Photo& p = PhotoOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            classifier::ClassifyCharacter(*Data().view.letters, p.crop, false).chosenRank);
}

}  // namespace

#define STAGE(name)                     \
    BENCHMARK(name)                     \
        ->Arg(0)                        \
        ->Arg(1)                        \
        ->Unit(benchmark::kMicrosecond) \
        ->Repetitions(5)                \
        ->ReportAggregatesOnly(true)

STAGE(BM_Decode);
STAGE(BM_Grey);
STAGE(BM_Blur31);
STAGE(BM_BlurPair);
STAGE(BM_DetailOtsu);
STAGE(BM_Canny);
STAGE(BM_CharacterShapedBlobs);
STAGE(BM_Evidence);
STAGE(BM_LineMasks);
STAGE(BM_SeedLabel);
STAGE(BM_Search);
STAGE(BM_Extraction);
STAGE(BM_MorphologyReader);
STAGE(BM_ClusterReader);
STAGE(BM_ClassifyCharacter);

KARVONA_BENCHMARK_MAIN()
