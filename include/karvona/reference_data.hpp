#pragma once
// The reference data a reading needs: the letter and digit codebooks, the owner-prefix list and,
// for the reading plan, the confidence model and the character network. Loaded once from a
// folder and read-only after; one ReferenceData may be shared by any number of threads.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karvona {

namespace detail {
struct ReferenceDataAccess;
}

/// Loaded reference data. There is no empty or half-loaded ReferenceData: the only way to get one
/// is a LoadReferenceData call that succeeded. Copies share the same data (cheap to copy).
class ReferenceData {
public:
    /// The folder the data was loaded from.
    const std::filesystem::path& folder() const;
    /// Whether the confidence model and the character network are there (loaded without
    /// ReferenceDataOptions::strictOnly): only then does a reading that is not strict judge with
    /// the learned confidence.
    bool forReadingPlan() const;

    struct Impl;

private:
    explicit ReferenceData(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl_;
    friend struct detail::ReferenceDataAccess;
};

struct ReferenceDataOptions {
    /// Load only what a strict reading needs: the two codebooks and the owner-prefix list
    /// (prefixes.trn, numbers.trn, prefix.txt). Otherwise confidence.txt, charnet.onnx and
    /// charnet.txt are needed too.
    bool strictOnly = false;
};

/// The outcome of loading: data, or the problems that kept it from loading.
struct ReferenceDataLoad {
    std::optional<ReferenceData> data;  ///< set exactly when problems is empty
    std::vector<std::string> problems;  ///< one English line per missing or unusable file
    explicit operator bool() const { return data.has_value(); }
};

/// Loads the reference data from folder. Never throws: a missing folder or file, or a file that
/// cannot be used, is named in problems.
ReferenceDataLoad LoadReferenceData(const std::filesystem::path& folder,
                                    const ReferenceDataOptions& options = {});

}  // namespace karvona
