// The reading plan against the single pass on the same photographs: the demo photographs of
// samples/ (mixed layouts and sizes, decoded once) read with the shipped reference data and
// networks of data/, argument 0 with --strict's single pass, argument 1 with the whole plan (its
// second looks, the networks and the confidence). items_per_second is photographs per second of
// CPU time (the time shown is of all the photographs); "looks" counts the looks the plan took per
// photograph, "sure" the photographs it read a sure code of. The target is a plan within 1.5
// times the single pass; scripts/bench-vs-ocr measures the whole process.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_main.hpp"
#include "recognition/reading_plan.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

using namespace karvona::recognition;
namespace fs = std::filesystem;

namespace {

struct Shared {
    ReferenceDataSet data;
    std::vector<cv::Mat> photos;
    bool ready = false;

    Shared() {
        std::vector<std::string> messages;
        LoadReferenceData(KARVONA_SOURCE_DIR "/data", data, messages);
        LoadCharacterNetOf(KARVONA_SOURCE_DIR "/data", data);  // as read loads it
        for (const auto& entry : fs::directory_iterator(KARVONA_SOURCE_DIR "/samples")) {
            cv::Mat photo;
            if (entry.path().extension() == ".jpg" &&
                LoadPhotograph(entry.path(), photo) == LoadStatus::Ok)
                photos.push_back(photo);
        }
        ready = messages.empty() && data.lettersLoaded && data.digitsLoaded && !photos.empty();
    }
};

const Shared& Data() {
    static const Shared shared;
    return shared;
}

}  // namespace

static void BM_ReadSamples(benchmark::State& state) {
    const Shared& s = Data();
    if (!s.ready) {
        state.SkipWithError("data/ or samples/ missing");
        return;
    }
    Recognizer recognizer(s.data.View());
    recognizer.options.strict = state.range(0) == 0;
    double looks = 0, sure = 0;
    for (auto _ : state) {
        for (const cv::Mat& photo : s.photos) {
            recognizer.RecognizeLoaded(photo);
            if (const ReadingPlan* plan = recognizer.plan(); plan != nullptr)
                looks += static_cast<double>(plan->records().size());
            sure += IsSureReading(recognizer.result) ? 1 : 0;
        }
    }
    const auto n = static_cast<double>(s.photos.size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(s.photos.size()));
    if (!recognizer.options.strict)
        state.counters["looks"] = looks / (n * static_cast<double>(state.iterations()));
    state.counters["sure"] = sure / static_cast<double>(state.iterations());
    state.SetLabel(recognizer.options.strict ? "strict" : "plan");
}
BENCHMARK(BM_ReadSamples)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

KARVONA_BENCHMARK_MAIN()
