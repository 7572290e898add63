// Writing a folder of synthetic photographs with their labels.

#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <system_error>
#include <utility>

#include "synth/random.hpp"
#include "synth/synth.hpp"

namespace karvona::synth {

bool WriteSynthFolder(const SynthSpec& spec, std::uint64_t seed, int count,
                      const std::filesystem::path& folder, std::string* error,
                      const std::function<void(int written)>& progress) {
    auto fail = [error](const std::string& what) {
        if (error) {
            *error = what;
        }
        return false;
    };
    if (count < 0) {
        return fail("the count must not be negative");
    }
    const std::string problem = CheckSynthSpec(spec);
    if (!problem.empty()) {
        return fail(problem);
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        return fail("cannot create folder " + folder.string());
    }
    std::string labels = "file,code,layout\n";
    std::string boxes = "file,index,char,x0,y0,x1,y1\n";
    std::string cases = "file,rod_across,outline,distant,size_type_beside\n";
    for (int i = 0; i < count; ++i) {
        // Each photograph has a seed of its own, so that photograph i is the same whatever the
        // count; the file format is drawn apart from the picture.
        const std::uint64_t photoSeed = MixSeed(seed ^ MixSeed(static_cast<std::uint64_t>(i)));
        const SynthPhoto photo = RenderContainerPhoto(spec, photoSeed);
        Random format(photoSeed ^ 0x5EEDF11Eull);
        const bool bmp = format.Chance(spec.bmpShare);
        char name[32];
        std::snprintf(name, sizeof name, "synth_%06d.%s", i, bmp ? "bmp" : "jpg");
        const std::filesystem::path file = folder / name;
        std::vector<int> params;
        if (!bmp) {
            params = {cv::IMWRITE_JPEG_QUALITY, format.Int(60, 95)};
        }
        bool written = false;
        try {
            written = !photo.image.empty() && cv::imwrite(file.string(), photo.image, params);
        } catch (const cv::Exception&) {
            written = false;
        }
        if (!written) {
            return fail("cannot write " + file.string());
        }
        const std::string layout = photo.layout >= 0 ? std::to_string(photo.layout) : "";
        labels += std::string(name) + "," + photo.code + "," + layout + "\n";
        for (size_t k = 0; k < photo.characterBoxes.size() && k < photo.code.size(); ++k) {
            const cv::Rect& b = photo.characterBoxes[k];
            boxes += std::string(name) + "," + std::to_string(k) + "," + photo.code[k] + "," +
                     std::to_string(b.x) + "," + std::to_string(b.y) + "," +
                     std::to_string(b.x + b.width) + "," + std::to_string(b.y + b.height) + "\n";
        }
        const HardCases& drawn = photo.cases;
        cases += std::string(name) + "," + std::to_string(drawn.rodAcross) + "," +
                 std::to_string(drawn.outline) + "," + std::to_string(drawn.distant) + "," +
                 std::to_string(drawn.sizeTypeBeside) + "\n";
        if (progress) {
            progress(i + 1);
        }
    }
    // The character boxes beside the labels, in the format of hand-boxed photographs, and the
    // hard cases, so that a measurement can be split by them.
    for (const auto& [file, text] : {std::pair<const char*, const std::string&>{"boxes.csv", boxes},
                                     {"cases.csv", cases},
                                     {"labels.csv", labels}}) {
        const std::filesystem::path path = folder / file;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            return fail("cannot write " + path.string());
        }
    }
    return true;
}

}  // namespace karvona::synth
