// libFuzzer target: recognition of a small decoded image, with codebooks of drawn glyphs so that
// the readers get as far as classifying.
//
// Input: bytes 0-1 and 2-3 (little-endian) give the width (1 + value % 320) and the height
// (1 + value % 240); byte 4 gives the channels (low two bits: 1, 3, 4 or 3), 16-bit samples
// (bit 2) and a block size of 1 to 8 pixels (bits 4-6). The rest are the samples of an image
// of width / block x height / block pixels, repeated when short, which is enlarged by the block
// size so that a short input still draws shapes big enough to be characters.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/owner_prefix_list.hpp"
#include "fuzz_file.hpp"
#include "handmade_codebook.hpp"
#include "recognition/recognizer.hpp"

namespace {

struct GlyphData {
    karvona::classifier::CLvqCluster letters = karvona::test_support::GlyphCodebook(false);
    karvona::classifier::CLvqCluster digits = karvona::test_support::GlyphCodebook(true);
    karvona::classifier::COwnerPrefixList prefixes;
    GlyphData() {
        const std::string path = karvona::fuzz::ScratchFile("prefixes");
        std::ofstream(path) << "CSQU\nABCU\n";
        prefixes.LoadPrefixFile(path);
        std::remove(path.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cv::setNumThreads(0);  // one thread: the fuzzer's own process is what gets checked
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return 0;
    static const GlyphData glyphs;
    static karvona::recognition::Recognizer recognizer({&glyphs.letters, &glyphs.digits,
                                                        &glyphs.prefixes});

    const int width = 1 + (data[0] | data[1] << 8) % 320;
    const int height = 1 + (data[2] | data[3] << 8) % 240;
    static const int kChannels[] = {1, 3, 4, 3};
    const int channels = kChannels[data[4] & 3];
    const bool wide = (data[4] & 4) != 0;
    const int block = 1 + ((data[4] >> 4) & 7);
    const std::uint8_t* samples = data + 5;
    const std::size_t count = size - 5;

    const int w = std::max(1, width / block), h = std::max(1, height / block);
    cv::Mat small(h, w, CV_MAKETYPE(wide ? CV_16U : CV_8U, channels), cv::Scalar::all(0));
    if (count > 0) {
        const std::size_t values = small.total() * channels;
        for (std::size_t i = 0; i < values; ++i) {
            const std::uint8_t v = samples[i % count];
            if (wide)
                small.ptr<std::uint16_t>()[i] = static_cast<std::uint16_t>(v * 257);
            else
                small.ptr<std::uint8_t>()[i] = v;
        }
    }
    cv::Mat image;
    cv::resize(small, image, {width, height}, 0, 0, cv::INTER_NEAREST);
    recognizer.RecognizeLoaded(image);
    if (recognizer.result.status != karvona::recognition::LoadStatus::Ok || recognizer.resultText.size() > 11)
        std::abort();
    return 0;
}
