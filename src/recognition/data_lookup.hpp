#pragma once
// Where the reference data lives, and loading it where a missing file is an error.
//
// The folder is looked for in this order: the folder given on the command line, then
// $KARVONA_DATA, then the current folder when it holds all three files, then ../share/karvona
// beside the running program, so that an installed or unpacked package finds its own data.

#include <filesystem>
#include <string>
#include <vector>

#include "recognition/reference_data.hpp"

namespace karvona::recognition {

/// How the reference data folder was chosen.
enum class DataSource {
    kGiven,        ///< the folder given on the command line
    kEnvironment,  ///< $KARVONA_DATA
    kCurrent,      ///< the current folder, which holds all three files
    kBeside,       ///< ../share/karvona beside the program
    kNone,         ///< nowhere: folder is empty
};

struct DataFolder {
    std::filesystem::path folder;
    DataSource source = DataSource::kNone;
};

/// What the lookup looks at; ForThisProcess() fills it from the process itself.
struct DataLookupContext {
    std::filesystem::path given;          ///< empty when none was given
    std::string environment;              ///< the value of $KARVONA_DATA, empty when unset
    std::filesystem::path currentFolder;  ///< the process's current folder
    std::filesystem::path program;        ///< the running program's own path, empty if unknown

    static DataLookupContext ForThisProcess(const std::filesystem::path& given);
};

/// Whether folder holds the three files (as regular files, followed through links).
bool HoldsReferenceData(const std::filesystem::path& folder);

/// The folder to load from, by the order above. The first of the given folder and
/// $KARVONA_DATA that is set is taken as it stands, whether or not it holds the files (loading
/// then says which file is missing); the current folder counts only when it holds all three;
/// the folder beside the program is taken when it exists. kNone when no rule applies.
DataFolder FindReferenceData(const DataLookupContext& context);

/// The English text that tells where the data was looked for when FindReferenceData found none.
std::string NoReferenceDataMessage(const DataLookupContext& context);

/// Loads the three files from folder, and the confidence model (confidence.txt) unless
/// withConfidence is false (a strict run judges nothing), and returns one English message per
/// file that is missing or unusable, each naming the file: a codebook that cannot be opened,
/// declares no prototypes or is cut short, an owner-prefix list that cannot be opened or holds no
/// prefix, a confidence model that is missing or malformed. Empty when everything loaded.
std::vector<std::string> LoadRequiredReferenceData(const std::filesystem::path& folder,
                                                   ReferenceDataSet& data,
                                                   bool withConfidence = true);

}  // namespace karvona::recognition
