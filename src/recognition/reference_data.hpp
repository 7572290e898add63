#pragma once
// The reference data of a reading: the letter and digit codebooks, the owner-prefix list and the
// confidence model, loaded once from a folder ("prefixes.trn", "numbers.trn", "prefix.txt",
// "confidence.txt") and read-only after.

#include <filesystem>
#include <string>
#include <vector>

#include "classifier/lvq_cluster.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

struct ReferenceDataSet {
    classifier::CLvqCluster letters;
    classifier::CLvqCluster digits;
    classifier::COwnerPrefixList prefixes;
    ConfidenceModel confidence;
    bool lettersLoaded = false;
    bool digitsLoaded = false;
    bool prefixesLoaded = false;
    classifier::CharacterNetModel characterNet;  ///< loaded on its own (LoadCharacterNetOf)
    classifier::LineNetModel lineNet;            ///< loaded on its own (LoadNetworksOf)
    bool confidenceLoaded = false;

    /// The view the readers take (codebooks that did not load are left out).
    ReferenceData View() const;
};

/// Loads the character network of folder (charnet.onnx and charnet.txt, see
/// classifier::LoadCharacterNet) into data; returns the reason when it cannot, else empty.
std::string LoadCharacterNetOf(const std::filesystem::path& folder, ReferenceDataSet& data);

/// Loads both networks of folder, the character network (LoadCharacterNetOf) and the line
/// network (linenet.onnx and linenet.txt, see classifier::LoadLineNet); returns the reason of the
/// first that cannot be loaded, else empty.
std::string LoadNetworksOf(const std::filesystem::path& folder, ReferenceDataSet& data);

/// Loads the three files from folder in the order the program always has, then the confidence
/// model when it is there. messages receives, in order, the texts the operator is shown for each
/// failure of the three; loading goes on after one.
void LoadReferenceData(const std::filesystem::path& folder, ReferenceDataSet& data,
                       std::vector<std::string>& messages);

}  // namespace karvona::recognition
