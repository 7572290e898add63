// A fixed amount of work for a profiler (callgrind, perf): photographs read a given number of
// times by one recognizer, as the command-line tool reads them.
//
//   profile_pass [--data DIR] [--repeat N] [--threads N] [PHOTO|FOLDER...]
//
// Without photographs it reads the drawn 640 x 480 photograph of bench_recognize, decoded from
// JPEG each time; without --data it classifies with that benchmark's drawn-glyph codebooks.
// --threads sets OpenCV's own threads (default 1, so that a profile shows one thread's work).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "imaging/heap.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

namespace fs = std::filesystem;
using namespace karvona;

int main(int argc, char** argv) {
    imaging::KeepFreedMemoryForReuse();
    std::string data;
    int repeat = 1;
    int threads = 1;
    std::vector<fs::path> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--data" || arg == "--repeat" || arg == "--threads") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--data")
                data = value;
            else if (arg == "--repeat")
                repeat = std::max(1, std::atoi(value.c_str()));
            else
                threads = std::max(1, std::atoi(value.c_str()));
        } else if (fs::is_directory(arg)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg)) {
                std::string ext = entry.path().extension().string();
                std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
                if (ext == ".jpg" || ext == ".bmp")
                    photos.push_back(entry.path());
            }
        } else if (!arg.empty() && arg[0] != '-') {
            photos.push_back(arg);
        } else {
            std::fprintf(stderr,
                         "usage: profile_pass [--data DIR] [--repeat N] [--threads N] "
                         "[PHOTO|FOLDER...]\n");
            return 2;
        }
    }
    std::sort(photos.begin(), photos.end());
    cv::setNumThreads(threads);

    recognition::ReferenceDataSet reference;
    recognition::ReferenceData view;
    if (!data.empty()) {
        std::vector<std::string> messages;
        recognition::LoadReferenceData(data, reference, messages);
        for (const std::string& message : messages)
            std::fprintf(stderr, "%s\n", message.c_str());
        view = reference.View();
    } else {
        auto glyph = [](char c) { return karvona::testing::GlyphMask(c, {16, 30}); };
        reference.letters = test_support::GlyphCodebook(false, glyph);
        reference.digits = test_support::GlyphCodebook(true, glyph);
        view = {&reference.letters, &reference.digits, &reference.prefixes};
    }

    recognition::Recognizer recognizer(view);
    int complete = 0, read = 0;
    if (photos.empty()) {
        karvona::testing::CodeDrawing d;
        d.text = "ABCU1234560";
        d.noiseSigma = 6.0;
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", karvona::testing::DrawCodePhoto(d).image, jpeg,
                     {cv::IMWRITE_JPEG_QUALITY, 90});
        for (int r = 0; r < repeat; ++r, ++read)
            complete += recognizer.RecognizeLoaded(cv::imdecode(jpeg, cv::IMREAD_COLOR));
    } else {
        for (int r = 0; r < repeat; ++r) {
            for (const fs::path& photo : photos) {
                complete += recognizer.RecognizeImage(photo);
                ++read;
            }
        }
    }
    std::printf("%d readings, %d complete\n", read, complete);
    return 0;
}
