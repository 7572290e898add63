#include "training/train.hpp"

#include <chrono>
#include <cstdio>
#include <system_error>
#include <vector>

#include "classifier/lvq_cluster.hpp"
#include "training/lvq_trainer.hpp"
#include "training/sample_folder.hpp"

namespace karvona::training {

namespace fs = std::filesystem;
using classifier::CLvqCluster;

bool ParseSize(const std::string& text, int& width, int& height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 1 || h < 1)
        return false;
    width = w;
    height = h;
    return true;
}

namespace {

std::string Percent(int part, int whole) {
    char text[32];
    if (whole <= 0)
        return "-";
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * part / whole);
    return text;
}

void Report(std::ostream& out, const char* name, CodebookKind kind, const CLvqCluster& codebook,
            const TrainingResult& result) {
    out << name << ": " << codebook.classCount << " classes x " << codebook.prototypesPerClass
        << " prototypes, " << codebook.featureLength << " features; validation "
        << result.validationCorrect << '/' << result.validationTotal << " ("
        << Percent(result.validationCorrect, result.validationTotal) << ")";
    if (result.realValidationTotal > 0) {
        out << ", real " << result.realValidationCorrect << '/' << result.realValidationTotal
            << " (" << Percent(result.realValidationCorrect, result.realValidationTotal) << ")";
    }
    out << '\n';
    out << "     synthetic (train valid)   real (train valid)   read right: all   real\n";
    for (int g = 0; g < GroupCount(kind); ++g) {
        const GroupResult& r = result.groups[g];
        char line[128];
        std::snprintf(line, sizeof line, "  %c  %9d %5d %13d %5d %21s %6s\n", GroupChar(kind, g),
                      r.training - r.realTraining, r.validation - r.realValidation, r.realTraining,
                      r.realValidation, Percent(r.correct, r.validation).c_str(),
                      Percent(r.realCorrect, r.realValidation).c_str());
        out << line;
    }
    if (result.confusions.empty()) {
        out << "  no confusions\n";
        return;
    }
    out << "  confusions (true -> read):";
    for (size_t i = 0; i < result.confusions.size() && i < 10; ++i) {
        const Confusion& c = result.confusions[i];
        out << ' ' << c.truth << "->" << (c.read != 0 ? c.read : '?') << ' ' << c.count;
    }
    out << '\n';
}

// Loads a sample folder and says on err what is wrong with it. False when it cannot be used.
bool LoadSamples(const fs::path& folder, SampleFolderContents& contents, std::ostream& err) {
    std::string error;
    if (!LoadSampleFolder(folder, contents, error)) {
        err << error << "; no training file written\n";
        return false;
    }
    if (!contents.unreadable.empty()) {
        err << contents.unreadable.size() << " unreadable image(s) in " << folder.string() << ":\n";
        for (size_t i = 0; i < contents.unreadable.size() && i < 10; ++i)
            err << "  " << contents.unreadable[i] << '\n';
        err << "no training file written\n";
        return false;
    }
    for (const std::string& ignored : contents.ignoredFolders)
        err << "ignored folder " << ignored << '\n';
    if (!contents.blank.empty()) {
        err << contents.blank.size() << " image(s) without strokes skipped, e.g. "
            << contents.blank.front() << '\n';
    }
    return true;
}

// Writes both files beside their targets first and renames them only when both are complete.
bool WriteBoth(const CLvqCluster& letters, const fs::path& lettersPath, const CLvqCluster& digits,
               const fs::path& digitsPath, std::ostream& err) {
    const fs::path lettersPart = lettersPath.string() + ".part";
    const fs::path digitsPart = digitsPath.string() + ".part";
    std::error_code ec;
    bool ok = letters.SaveTrainingFile(lettersPart.string());
    if (!ok)
        err << "cannot write " << lettersPath.string() << '\n';
    if (ok) {
        ok = digits.SaveTrainingFile(digitsPart.string());
        if (!ok)
            err << "cannot write " << digitsPath.string() << '\n';
    }
    if (ok) {
        fs::rename(lettersPart, lettersPath, ec);
        if (!ec) {
            fs::rename(digitsPart, digitsPath, ec);
            if (ec)
                fs::remove(lettersPath);
        }
        if (ec) {
            err << "cannot write the training files: " << ec.message() << '\n';
            ok = false;
        }
    }
    fs::remove(lettersPart, ec);
    fs::remove(digitsPart, ec);
    return ok;
}

// The options' sizes and counts into the feature recipe; false (with the reason on err) when
// one is out of its range.
bool CheckOptions(const TrainOptions& options, FeatureRecipe& recipe, std::ostream& err) {
    if (!ParseSize(options.norm, recipe.normWidth, recipe.normHeight) || recipe.normWidth < 2 ||
        recipe.normHeight < 2 || recipe.normWidth > CLvqCluster::kMaxNormSize ||
        recipe.normHeight > CLvqCluster::kMaxNormSize) {
        err << "--norm must be WxH with sides of 2 to " << CLvqCluster::kMaxNormSize << '\n';
        return false;
    }
    if (!ParseSize(options.grid, recipe.gridWidth, recipe.gridHeight) ||
        recipe.gridWidth > CLvqCluster::kMaxGridSize ||
        recipe.gridHeight > CLvqCluster::kMaxGridSize) {
        err << "--grid must be WxH with sides of 1 to " << CLvqCluster::kMaxGridSize << '\n';
        return false;
    }
    if (options.protos < 1) {
        err << "--protos must be at least 1\n";
        return false;
    }
    if (options.epochs < 1 || options.epochs > 10000) {
        err << "--epochs must be 1 to 10000\n";
        return false;
    }
    std::error_code ec;
    if (options.letters.empty() || options.digits.empty() ||
        fs::weakly_canonical(options.letters, ec) == fs::weakly_canonical(options.digits, ec)) {
        err << "--letters and --digits must name two different files\n";
        return false;
    }
    if (options.realRepeat < 1 || options.realEpochs < 0) {
        err << "--real-repeat must be at least 1 and --real-epochs not negative\n";
        return false;
    }
    return true;
}

// Every sample folder's samples in one list, the real ones (realCount of them) last.
bool LoadAllSamples(const TrainOptions& options, SampleFolderContents& contents, size_t& realCount,
                    std::ostream& err) {
    if (!LoadSamples(options.samples, contents, err))
        return false;
    for (const fs::path& folder : options.moreSamples) {
        SampleFolderContents more;
        if (!LoadSamples(folder, more, err))
            return false;
        for (CharacterSample& sample : more.samples)
            contents.samples.push_back(std::move(sample));
    }
    realCount = 0;
    if (!options.real.empty()) {
        SampleFolderContents real;
        if (!LoadSamples(options.real, real, err))
            return false;
        realCount = real.samples.size();
        for (CharacterSample& sample : real.samples)
            contents.samples.push_back(std::move(sample));
    }
    if (contents.samples.empty()) {
        err << "no samples in " << options.samples.string()
            << " (expected one folder per character, 0..9 and A..Z without Q, of images); no "
               "training file written\n";
        return false;
    }
    return true;
}

// The feature vectors of one codebook's samples, their classes and which of them are real.
struct CodebookSamples {
    std::vector<std::vector<double>> features;
    std::vector<int> groups;
    std::vector<bool> real;
};

// The classes of kind that have no sample, as their characters separated by blanks.
std::string MissingClasses(CodebookKind kind, const std::vector<int>& groups) {
    std::string missing;
    std::vector<int> counts(GroupCount(kind), 0);
    for (int g : groups)
        ++counts[g];
    for (int g = 0; g < GroupCount(kind); ++g) {
        if (counts[g] == 0)
            missing += std::string(missing.empty() ? "" : " ") + GroupChar(kind, g);
    }
    return missing;
}

void ReportSamples(const TrainOptions& options, const SampleFolderContents& contents,
                   const CodebookSamples& letters, const CodebookSamples& digits, size_t firstReal,
                   size_t realCount, std::ostream& out) {
    out << "samples: " << contents.samples.size() << " (letters " << letters.features.size()
        << ", digits " << digits.features.size() << "): " << firstReal << " synthetic from "
        << options.samples.string();
    for (const fs::path& folder : options.moreSamples)
        out << ' ' << folder.string();
    if (!options.real.empty())
        out << ", " << realCount << " real from " << options.real.string();
    out << '\n';
}

// Trains both codebooks and reports them; false (with the reason on err) when one cannot be
// trained.
bool TrainBoth(const TrainOptions& options, const CodebookSamples& letterSamples,
               const CodebookSamples& digitSamples, CLvqCluster& letters, CLvqCluster& digits,
               std::ostream& out, std::ostream& err) {
    LvqOptions lvq;
    lvq.prototypesPerClass = options.protos;
    lvq.seed = options.seed;
    lvq.epochs = options.epochs;
    lvq.realRepeat = options.realRepeat;
    lvq.balance = options.balance;
    lvq.realEpochs = options.realEpochs;
    std::string error;
    TrainingResult letterResult, digitResult;
    if (!TrainCodebook(letterSamples.features, letterSamples.groups, CodebookKind::Letters, lvq,
                       letters, letterResult, error, letterSamples.real)) {
        err << "letters: " << error << "; no training file written\n";
        return false;
    }
    lvq.seed = options.seed + 1;  // the digits draw from a stream of their own
    if (!TrainCodebook(digitSamples.features, digitSamples.groups, CodebookKind::Digits, lvq,
                       digits, digitResult, error, digitSamples.real)) {
        err << "digits: " << error << "; no training file written\n";
        return false;
    }
    if (PrototypesPerClass(CodebookKind::Letters, options.protos) < options.protos ||
        PrototypesPerClass(CodebookKind::Digits, options.protos) < options.protos) {
        out << "prototypes per class lowered to keep each codebook within " << kMaxPrototypes
            << '\n';
    }
    Report(out, "letters", CodebookKind::Letters, letters, letterResult);
    Report(out, "digits", CodebookKind::Digits, digits, digitResult);
    return true;
}

}  // namespace

int RunTrain(const TrainOptions& options, std::ostream& out, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    FeatureRecipe recipe;
    if (!CheckOptions(options, recipe, err))
        return 1;
    SampleFolderContents contents;
    size_t realCount = 0;
    if (!LoadAllSamples(options, contents, realCount, err))
        return 1;
    // The real samples are the last realCount ones.
    const size_t firstReal = contents.samples.size() - realCount;

    // Feature vectors by the shared recipe; both codebooks read the same vector.
    CLvqCluster letters = MakeCodebook(recipe);
    CLvqCluster digits = MakeCodebook(recipe);
    CodebookSamples letterSamples, digitSamples;
    for (size_t s = 0; s < contents.samples.size(); ++s) {
        const CharacterSample& sample = contents.samples[s];
        const bool digit = sample.character >= '0' && sample.character <= '9';
        const CodebookKind kind = digit ? CodebookKind::Digits : CodebookKind::Letters;
        CodebookSamples& into = digit ? digitSamples : letterSamples;
        into.features.push_back(letters.ComputeFeatures(sample.image));
        into.groups.push_back(GroupOf(kind, sample.character));
        into.real.push_back(s >= firstReal);
    }

    // Every class must have samples; name all that have none before anything is trained.
    std::string missing = MissingClasses(CodebookKind::Letters, letterSamples.groups);
    const std::string missingDigits = MissingClasses(CodebookKind::Digits, digitSamples.groups);
    if (!missing.empty() && !missingDigits.empty())
        missing += ' ';
    missing += missingDigits;
    if (!missing.empty()) {
        err << "no samples for: " << missing << "; no training file written\n";
        return 1;
    }
    ReportSamples(options, contents, letterSamples, digitSamples, firstReal, realCount, out);
    if (!TrainBoth(options, letterSamples, digitSamples, letters, digits, out, err))
        return 1;

    if (!WriteBoth(letters, options.letters, digits, options.digits, err)) {
        err << "no training file written\n";
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    out << "wrote " << options.letters.string() << " and " << options.digits.string() << " in "
        << time << '\n';
    return 0;
}

}  // namespace karvona::training
