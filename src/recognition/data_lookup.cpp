#include "recognition/data_lookup.hpp"

#include <cstdlib>

#include "classifier/messages.hpp"

namespace karvona::recognition {
namespace {

namespace fs = std::filesystem;

fs::path BesideProgram(const fs::path& program) {
    if (program.empty())
        return {};
    return program.parent_path().parent_path() / "share" / "karvona";
}

bool IsFolder(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string CodebookProblem(classifier::TrainingFileStatus status, const fs::path& file,
                            const char* what) {
    using classifier::TrainingFileStatus;
    const std::string name = file.string();
    std::error_code ec;
    switch (status) {
        case TrainingFileStatus::Ok:
            return {};
        case TrainingFileStatus::Missing:
            if (!fs::exists(file, ec))
                return std::string("the ") + what + " " + name + " does not exist";
            return std::string("the ") + what + " " + name + " cannot be opened";
        case TrainingFileStatus::NoPrototypes:
            return std::string("the ") + what + " " + name + " declares no prototypes";
        case TrainingFileStatus::Invalid:
            break;
    }
    return std::string("the ") + what + " " + name +
           " is not a usable training file (its header is invalid or it is cut short)";
}

}  // namespace

DataLookupContext DataLookupContext::ForThisProcess(const fs::path& given) {
    DataLookupContext context;
    context.given = given;
    if (const char* value = std::getenv("KARVONA_DATA"))
        context.environment = value;
    std::error_code ec;
    context.currentFolder = fs::current_path(ec);
    context.program = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        context.program.clear();
    return context;
}

bool HoldsReferenceData(const fs::path& folder) {
    std::error_code ec;
    for (const char* file : {classifier::kLetterTrainingFile, classifier::kDigitTrainingFile,
                             classifier::kPrefixFile}) {
        if (!fs::is_regular_file(folder / file, ec))
            return false;
    }
    return true;
}

DataFolder FindReferenceData(const DataLookupContext& context) {
    if (!context.given.empty())
        return {context.given, DataSource::kGiven};
    if (!context.environment.empty())
        return {fs::path(context.environment), DataSource::kEnvironment};
    if (!context.currentFolder.empty() && HoldsReferenceData(context.currentFolder))
        return {context.currentFolder, DataSource::kCurrent};
    const fs::path beside = BesideProgram(context.program);
    if (IsFolder(beside))
        return {beside.lexically_normal(), DataSource::kBeside};
    return {};
}

std::string NoReferenceDataMessage(const DataLookupContext& context) {
    std::string text =
        "no reference data (prefixes.trn, numbers.trn and prefix.txt) was found: give --data "
        "DIR or set KARVONA_DATA; looked in the current folder";
    if (!context.currentFolder.empty())
        text += " " + context.currentFolder.string();
    const fs::path beside = BesideProgram(context.program);
    if (!beside.empty())
        text += " and in " + beside.lexically_normal().string();
    return text;
}

std::vector<std::string> LoadRequiredReferenceData(const fs::path& folder, ReferenceDataSet& data,
                                                   bool withConfidence) {
    using namespace classifier;
    std::vector<std::string> problems;
    auto loadCodebook = [&](CLvqCluster& codebook, const char* file, const char* what) {
        const fs::path path = folder / file;
        const classifier::TrainingFileStatus status = codebook.LoadTrainingFile(path.string());
        if (status != classifier::TrainingFileStatus::Ok)
            problems.push_back(CodebookProblem(status, path, what));
        return status == classifier::TrainingFileStatus::Ok;
    };
    data.lettersLoaded = loadCodebook(data.letters, kLetterTrainingFile, "letter codebook");
    data.digitsLoaded = loadCodebook(data.digits, kDigitTrainingFile, "digit codebook");

    const fs::path prefixFile = folder / kPrefixFile;
    std::error_code ec;
    data.prefixesLoaded = false;
    if (!fs::is_regular_file(prefixFile, ec)) {
        problems.push_back(
            "the owner-prefix list " + prefixFile.string() +
            (fs::exists(prefixFile, ec) ? " is not a regular file" : " does not exist"));
    } else if (!data.prefixes.LoadPrefixFile(prefixFile.string())) {
        problems.push_back("the owner-prefix list " + prefixFile.string() + " cannot be opened");
    } else if (data.prefixes.prefixCount() == 0) {
        problems.push_back("the owner-prefix list " + prefixFile.string() +
                           " holds no owner prefixes");
    } else {
        data.prefixesLoaded = true;
    }
    data.confidenceLoaded = false;
    if (withConfidence) {
        std::string error;
        data.confidenceLoaded = data.confidence.Load(folder / kConfidenceFile, error);
        if (!data.confidenceLoaded)
            problems.push_back(error);
    }
    return problems;
}

}  // namespace karvona::recognition
