#pragma once
// One answer per truck pass. A gate photographs each truck with several cameras; a truck carries
// one container or two. The photographs of a pass are grouped (by a pattern in the file name or
// by folder) and their readings fused into the codes the pass is sure of, with the photographs
// that support each code and those that could not be used.
//
// Fusion: validated readings vote for their code; partial readings add per-position votes where
// they line up with such a candidate; a fused code must pass the check digit and the owner list.
// A code is sure when a sure reading reads it or validated readings of two cameras do. Beside a
// sure code, a different code read below kPassFloor is no evidence, and one at or above it is a
// second container when other cameras read it. Two codes without a sure one are two containers
// only when different cameras read them and each was repeated. Anything else is a conflict: the
// pass is flagged for review and no code of it is called sure. A pass without a sure code is
// flagged too.

#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "classifier/owner_prefix_list.hpp"
#include "recognition/result.hpp"
#include "shell/folder_scan.hpp"

namespace karvona::shell {

/// Whether a single reading is sure enough to answer a pass alone: a validated reading of eleven
/// characters that the recognizer did not send to review (in a strict run every validated one).
using recognition::IsSureReading;

/// The confidence below which a different code is no evidence against a sure code of the pass
/// (its readings are then left unused); chosen on the passes of real-gate/train.
inline constexpr float kPassFloor = 0.5f;

/// Whether code is a whole ISO 6346 code: eleven characters, owner prefix in the list, and a
/// check digit that matches.
bool IsValidCode(const std::string& code, const classifier::COwnerPrefixList& prefixes);

/// The pass a photograph belongs to and the camera that took it.
struct PassKey {
    std::string pass;
    std::string camera;
};

/// How photographs are grouped into passes.
class PassGrouping {
public:
    /// By the first capture group of pattern, searched in the file name: for
    /// "1-153655001-OCR-RF-D01.jpg" and "1-(\d+)-OCR" the pass is "153655001" and the camera the
    /// name without it. A name the pattern does not match is a pass of its own. Empty (and
    /// error set) when the pattern is not a valid regular expression or has no capture group.
    static std::optional<PassGrouping> ByPattern(const std::string& pattern, std::string& error);
    /// By the folder that holds the photograph; the camera is the file name.
    static PassGrouping ByFolder();
    /// "folder" groups by folder, anything else is a pattern.
    static std::optional<PassGrouping> FromOption(const std::string& option, std::string& error);

    PassKey KeyOf(const std::filesystem::path& photo) const;
    /// Whether the photograph's pass comes from the grouping rather than from its name alone:
    /// always by folder; by pattern when the pattern's group matches in the file name.
    bool Groups(const std::filesystem::path& photo) const;

private:
    bool byFolder_ = true;
    std::regex pattern_;
};

/// One photograph of a pass with its reading.
struct PassPhoto {
    std::string file;    ///< as the answer names it
    std::string camera;  ///< photographs of one camera are not independent evidence
    recognition::RecognitionResult reading;
};

/// A container code of a pass.
struct PassCode {
    std::string code;
    bool sure = false;
    std::vector<std::string> photos;  ///< the photographs that support it, in input order
};

/// The answer for one pass.
struct PassResult {
    std::string pass;
    std::vector<PassCode> codes;      ///< one or two, more only in a pass flagged for review
    std::vector<std::string> unused;  ///< photographs that support no code, in input order
    bool review = false;              ///< a person should look: no sure answer, or a conflict
};

/// Fuses the readings of one pass.
PassResult FusePass(const std::string& pass, const std::vector<PassPhoto>& photos,
                    const classifier::COwnerPrefixList& prefixes);

/// Gathers the readings of a batch run into passes: rows are recorded in row order, and a pass is
/// answered as soon as its last row is recorded.
class PassCollector {
public:
    /// rows are the run's rows; rows before startRow (counted from 0) are not read. The row
    /// standardInputRow (if any) holds a photograph read from standard input and kept in a
    /// temporary file: it is a pass of its own, and it and its photograph are named "-".
    PassCollector(const std::vector<FileRow>& rows, int startRow, const PassGrouping& grouping,
                  const classifier::COwnerPrefixList& prefixes, int standardInputRow = -1);
    /// Records the reading of one row; returns the passes it completes (none or one).
    std::vector<PassResult> Record(int row, const recognition::RecognitionResult& reading);
    /// The passes still open (a run stopped early), answered from the rows recorded so far.
    std::vector<PassResult> Finish();

private:
    struct OpenPass {
        std::string key;
        int lastRow = 0;
        std::vector<PassPhoto> photos;
    };
    const classifier::COwnerPrefixList& prefixes_;
    std::vector<int> passOfRow_;  ///< index into passes_, -1 before the start row
    std::vector<PassKey> keyOfRow_;
    std::vector<OpenPass> passes_;  ///< in the order of their first row
    std::vector<bool> answered_;
    const std::vector<FileRow>& rows_;
    int standardInputRow_ = -1;
};

}  // namespace karvona::shell
