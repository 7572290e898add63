#pragma once
// Reference data for tests that read drawn photographs: the codebooks of the glyphs they are
// painted with and the owner list ABCU, CSQU. Each test program names its own list file, so that
// programs running at once never write the same file.

#include <filesystem>
#include <fstream>
#include <string>

#include "classifier/owner_prefix_list.hpp"
#include "handmade_codebook.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::test_support {

struct DrawnGlyphData {
    classifier::CLvqCluster letters = DrawnGlyphCodebook(false);
    classifier::CLvqCluster digits = DrawnGlyphCodebook(true);
    classifier::COwnerPrefixList prefixes;
    explicit DrawnGlyphData(const std::string& listName) {
        const std::filesystem::path file = std::filesystem::temp_directory_path() / listName;
        std::ofstream(file) << "ABCU\nCSQU\n";
        prefixes.LoadPrefixFile(file.string());
    }
    recognition::ReferenceData View() const { return {&letters, &digits, &prefixes}; }
};

}  // namespace karvona::test_support
