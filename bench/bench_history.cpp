// What keeping a request in the history costs the service: one reading's row, its photograph
// (a real gate photograph's bytes, each time new) and its code region's picture (encoded each
// time, as the service does, and kept in the row), committed as a request's answer waits for it,
// and the same for a photograph the history already holds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "service/history.hpp"

namespace {

namespace fs = std::filesystem;
using karvona::service::History;
using karvona::service::HistoryEntry;

// A full-size gate photograph when the shared data is there, else a bundled sample.
std::string SamplePhoto() {
    fs::path file = fs::path(KARVONA_SOURCE_DIR) / "samples/synth_000000.jpg";
    const fs::path gate = fs::path(KARVONA_SOURCE_DIR) / "../shared/data/real-gate/dev";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(gate, ec)) {
        if (entry.path().extension() == ".jpg") {
            file = entry.path();
            break;
        }
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void BM_RecordOneReading(benchmark::State& state) {
    const bool newPhoto = state.range(0) != 0;
    const fs::path dir =
        fs::temp_directory_path() / ("karvona-bench-history-" + std::to_string(getpid()));
    fs::remove_all(dir);
    karvona::service::HistoryOptions options;
    options.database = dir / "h.db";
    std::string error;
    auto history = History::Open(options, error);
    if (!history) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string photo = SamplePhoto();
    // A region of a vertical code at gate size: 48 x 420 pixels of the door in the photograph.
    const cv::Mat decoded =
        cv::imdecode(std::vector<unsigned char>(photo.begin(), photo.end()), cv::IMREAD_COLOR);
    const cv::Mat strip = decoded(cv::Rect(decoded.cols / 2, decoded.rows / 8, 48,
                                           std::min(420, decoded.rows * 3 / 4)))
                              .clone();
    std::vector<std::int64_t> ids;
    std::string why, text;
    long long n = 0;
    for (auto _ : state) {
        if (newPhoto)  // a different photograph every time: a new file under a new hash
            std::memcpy(photo.data() + photo.size() - 16, &++n, sizeof n);
        HistoryEntry e;
        e.client = "127.0.0.1";
        e.file = "1-153655001-OCR-RF-D01.jpg";
        e.code = "CAIU8979622";
        e.outcome = "review";
        e.confidence = 0.7;
        e.look = "first";
        e.layout = 2;
        e.region = cv::Rect(320, 0, 80, 576);
        e.photo = photo;
        std::vector<unsigned char> jpeg;
        cv::imencode(".jpg", strip, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92});
        e.strip.assign(jpeg.begin(), jpeg.end());
        e.characters.assign(11, cv::Rect(4, 4, 30, 34));
        if (!history->Record({e}, ids, why, text))
            state.SkipWithError(text.c_str());
    }
    state.SetLabel(std::to_string(photo.size() / 1024) + " KiB photograph");
    history.reset();
    fs::remove_all(dir);
}
BENCHMARK(BM_RecordOneReading)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
