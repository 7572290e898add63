#include "cli/data_option.hpp"

#include <cstdio>

#include "recognition/data_lookup.hpp"

namespace karvona::cli {

CLI::Option* AddDataOption(CLI::App& command, std::string& folder) {
    return command.add_option(
        "--data", folder,
        "Folder of prefixes.trn, numbers.trn and prefix.txt. Default: $KARVONA_DATA, else the "
        "current folder when it holds the three files, else ../share/karvona beside the program");
}

bool LoadReferenceDataOrReport(const std::string& given, const char* command,
                               recognition::ReferenceDataSet& data, std::filesystem::path* folder,
                               bool strict) {
    const auto context = recognition::DataLookupContext::ForThisProcess(given);
    const recognition::DataFolder found = recognition::FindReferenceData(context);
    if (found.source == recognition::DataSource::kNone) {
        std::fprintf(stderr, "karvona %s: %s\n", command,
                     recognition::NoReferenceDataMessage(context).c_str());
        return false;
    }
    auto problems = recognition::LoadRequiredReferenceData(found.folder, data, !strict);
    if (!strict) {
        if (std::string problem = recognition::LoadCharacterNetOf(found.folder, data);
            !problem.empty())
            problems.push_back(std::move(problem));
    }
    for (const std::string& problem : problems)
        std::fprintf(stderr, "karvona %s: %s\n", command, problem.c_str());
    if (!problems.empty()) {
        if (found.source == recognition::DataSource::kEnvironment)
            std::fprintf(stderr, "karvona %s: (the folder comes from $KARVONA_DATA)\n", command);
        return false;
    }
    if (folder != nullptr)
        *folder = found.folder;
    return true;
}

}  // namespace karvona::cli
