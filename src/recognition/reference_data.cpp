#include "recognition/reference_data.hpp"

#include "classifier/messages.hpp"

namespace karvona::recognition {

ReferenceData ReferenceDataSet::View() const {
    ReferenceData view;
    view.letters = lettersLoaded ? &letters : nullptr;
    view.digits = digitsLoaded ? &digits : nullptr;
    view.prefixes = &prefixes;  // an empty list simply validates nothing
    view.characterNet = characterNet.loaded() ? &characterNet : nullptr;
    view.lineNet = lineNet.loaded() ? &lineNet : nullptr;
    view.confidence = confidenceLoaded ? &confidence : nullptr;
    return view;
}

std::string LoadCharacterNetOf(const std::filesystem::path& folder, ReferenceDataSet& data) {
    std::string error;
    classifier::LoadCharacterNet(folder, data.characterNet, error);
    return error;
}

std::string LoadNetworksOf(const std::filesystem::path& folder, ReferenceDataSet& data) {
    std::string error = LoadCharacterNetOf(folder, data);
    if (!error.empty())
        return error;
    classifier::LoadLineNet(folder, data.lineNet, error);
    return error;
}

void LoadReferenceData(const std::filesystem::path& folder, ReferenceDataSet& data,
                       std::vector<std::string>& messages) {
    using namespace classifier;
    auto loadCodebook = [&](CLvqCluster& codebook, const char* file, const char* missingText) {
        const classifier::TrainingFileStatus status =
            codebook.LoadTrainingFile((folder / file).string());
        for (std::string& text : TrainingLoadMessages(status, missingText)) {
            messages.push_back(std::move(text));
        }
        return status == classifier::TrainingFileStatus::Ok;
    };
    data.lettersLoaded =
        loadCodebook(data.letters, kLetterTrainingFile, kLetterTrainingFileMissingText);
    data.digitsLoaded =
        loadCodebook(data.digits, kDigitTrainingFile, kDigitTrainingFileMissingText);
    data.prefixesLoaded = data.prefixes.LoadPrefixFile((folder / kPrefixFile).string());
    if (!data.prefixesLoaded)
        messages.emplace_back(kPrefixFileMissingText);
    // Without the model the plan judges with the hand-set confidence; callers that need it use
    // LoadRequiredReferenceData, which names the file.
    std::string error;
    data.confidenceLoaded = data.confidence.Load(folder / kConfidenceFile, error);
}

}  // namespace karvona::recognition
