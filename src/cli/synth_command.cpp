// The synth subcommand: command-line front of karvona::synth::WriteSynthFolder.

#include "cli/synth_command.hpp"

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "cli/progress.hpp"
#include "recognition/data_lookup.hpp"
#include "synth/synth.hpp"

namespace karvona::cli {

namespace {

struct SynthOptions {
    std::uint64_t seed = 0;
    int count = 0;
    std::string out;
    std::string layouts = "all";
    std::string size;
    double bmpShare = 0.15;
    std::string prefixes;
    bool withoutCode = false;
    int characterHeight = 0;
};

// prefix.txt of the data folder that `read` would use ($KARVONA_DATA, the current folder,
// ../share/karvona beside the program: the package's), else the source tree's lists.
std::filesystem::path DefaultPrefixFile() {
    std::error_code ec;
    const recognition::DataFolder data =
        recognition::FindReferenceData(recognition::DataLookupContext::ForThisProcess({}));
    if (data.source != recognition::DataSource::kNone &&
        std::filesystem::is_regular_file(data.folder / "prefix.txt", ec)) {
        return data.folder / "prefix.txt";
    }
    for (const char* candidate : {"data/prefix.txt", "../shared/data/owner-prefixes.txt"}) {
        if (std::filesystem::is_regular_file(candidate, ec)) {
            return candidate;
        }
    }
    return {};
}

int RunSynth(const SynthOptions& o) {
    synth::SynthSpec spec;
    spec.bmpShare = o.bmpShare;
    spec.withoutCode = o.withoutCode;
    spec.characterHeight = o.characterHeight;
    if (!synth::ParseLayoutList(o.layouts, &spec.layouts)) {
        std::cerr << "synth: --layouts takes codes 0 to 6 such as 0,1,5 or 2-4, not \"" << o.layouts
                  << "\"\n";
        return 2;
    }
    if (!o.size.empty() && !synth::ParseFrameSize(o.size, &spec.frameSize)) {
        std::cerr << "synth: --size takes WxH between 640x480 and 1024x768, not \"" << o.size
                  << "\"\n";
        return 2;
    }
    const std::filesystem::path prefixFile =
        o.prefixes.empty() ? DefaultPrefixFile() : std::filesystem::path(o.prefixes);
    if (prefixFile.empty()) {
        std::cerr << "synth: no owner-prefix list (no prefix.txt in $KARVONA_DATA, the current "
                     "folder, ../share/karvona beside the program or data/); give --prefixes "
                     "FILE\n";
        return 1;
    }
    if (!synth::LoadOwnerPrefixes(prefixFile, &spec.prefixes)) {
        std::cerr << "synth: cannot read the owner-prefix list " << prefixFile.string() << "\n";
        return 1;
    }
    std::string error;
    bool written = false;
    {
        ProgressBar progress(o.count, ProgressBar::StderrIsTerminal());
        written = synth::WriteSynthFolder(spec, o.seed, o.count, o.out, &error,
                                          [&progress](int done) { progress.Update(done); });
    }
    if (!written) {
        std::cerr << "synth: " << error << "\n";
        return 1;
    }
    std::cout << "synth: wrote " << o.count << " photographs and labels.csv to " << o.out << "\n";
    return 0;
}

}  // namespace

void AddSynthCommand(CLI::App& app) {
    auto options = std::make_shared<SynthOptions>();
    CLI::App* cmd = app.add_subcommand(
        "synth", "Render synthetic container photographs with known codes and labels.csv");
    cmd->add_option("--seed", options->seed, "Seed; the same seed gives the same photographs")
        ->required();
    cmd->add_option("--count", options->count, "Number of photographs (0 writes labels only)")
        ->required()
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--out", options->out, "Output folder (created when missing)")->required();
    cmd->add_option("--layouts", options->layouts, "Layout codes, e.g. 0,1,5 or 2-4 (default all)");
    cmd->add_option("--size", options->size, "Frame size WxH (default: drawn per photograph)");
    cmd->add_option("--bmp-share", options->bmpShare, "Share of photographs written as BMP")
        ->check(CLI::Range(0.0, 1.0))
        ->capture_default_str();
    cmd->add_flag("--no-code", options->withoutCode,
                  "Doors and walls with the other markings but no code (empty labels)");
    cmd->add_option("--char-height", options->characterHeight,
                    "Character height in pixels of the horizontal codes (default: drawn per "
                    "photograph)")
        ->check(CLI::Range(synth::kMinCharacterHeight, synth::kMaxCharacterHeight));
    cmd->add_option("--prefixes", options->prefixes,
                    "Owner-prefix list (default: prefix.txt of the data folder read uses, else "
                    "data/prefix.txt)");
    cmd->callback([options]() {
        const int rc = RunSynth(*options);
        if (rc != 0) {
            // CLI11's way of ending a subcommand with an exit code (2: bad usage).
            throw CLI::RuntimeError(rc);
        }
    });
}

}  // namespace karvona::cli
