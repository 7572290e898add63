#pragma once
// Calibration of the reading plan's confidence. Every look of every labelled training photograph
// is read; each validated code a look produces becomes one row of evidence (code_evidence.hpp),
// labelled right or wrong by the photograph's label. A logistic regression (OpenCV's ml module)
// is fitted on the rows, and the sure threshold is chosen from the decisions it would make on
// the same photographs: see ChooseThreshold.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "recognition/confidence.hpp"
#include "recognition/confidence_model.hpp"

namespace karvona::training {

struct CalibrateOptions {
    std::vector<std::filesystem::path> sets;  ///< folders with labels.csv
    std::filesystem::path data;               ///< codebooks and owner list
    std::filesystem::path out;                ///< the model file to write
    int jobs = 1;                             ///< photographs read at once
    /// When set, the candidates of every look are written here (one line each, set, file,
    /// code, rightness and evidence), and a later run can fit from them alone (fromEvidence).
    std::filesystem::path saveEvidence;
    std::filesystem::path fromEvidence;      ///< fit from a file saveEvidence wrote; no photographs
    std::function<void(int, int)> progress;  ///< (done, total), may be empty
};

/// The candidates of one photograph's looks and whether each holds the label.
struct CalibrationPhoto {
    std::string set;
    std::string file;
    std::vector<recognition::Candidate> candidates;
    std::vector<bool> right;
};

/// The probabilities of every candidate of every photograph, in the same order.
using Probabilities = std::vector<std::vector<double>>;

/// What the plan would decide per photograph at a threshold (recognition::Decide's rule on
/// probabilities given beforehand).
struct ThresholdCount {
    int perfect = 0, misread = 0, reviewRight = 0, reviewWrong = 0;
};
ThresholdCount CountAt(const std::vector<CalibrationPhoto>& photos, const Probabilities& p,
                       double threshold, double chainFloor = recognition::kNoChainFloor);

/// The chain floor never lies lower than this. The training photographs put the surest wrong
/// evenly spaced chain code near 0.19, but they hold few such codes, and unseen photographs hold
/// surer ones: a fresh synthetic ITAU0130774 for ITAU0138775 at 0.55 (the boxes of two digits
/// cut short), and, with an equalised binarisation, one of the other site at 0.43 (characters
/// 9 px high).
inline constexpr double kLowestChainFloor = 0.6;

/// The chain floor (ConfidenceModel::chainFloor): half a unit of log-odds above the network's
/// lowest written probability in the surest wrong code that would be SureChainAlone at any
/// floor (with the candidates' probabilities p), rounded up to 0.001, and at least
/// kLowestChainFloor; kNoChainFloor when no such code is wrong or the floor would lie above
/// 0.995. lastWrong gets that probability (-1 for none), rightAbove the right such codes that
/// reach the floor.
double ChooseChainFloor(const std::vector<CalibrationPhoto>& photos, const Probabilities& p,
                        double* lastWrong = nullptr, int* rightAbove = nullptr);

/// Fits the model on the photographs (every candidate one row); the threshold is left 1.
recognition::ConfidenceModel FitModel(const std::vector<CalibrationPhoto>& photos);

/// Probabilities of a model for every candidate.
Probabilities Predict(const recognition::ConfidenceModel& model,
                      const std::vector<CalibrationPhoto>& photos);

/// The probabilities each photograph gets from a model fitted without it (folds by photograph
/// index), as a fresh photograph would get them.
Probabilities OutOfFold(const std::vector<CalibrationPhoto>& photos, int folds);

/// The sure threshold: half a unit of log-odds above the last misread, the highest threshold of
/// the grid 0.50, 0.505, ... 0.995 at which any of the given probabilities still calls a wrong
/// code perfect (0.5 when none does); at most 0.995.
double ChooseThreshold(const std::vector<CalibrationPhoto>& photos,
                       const std::vector<const Probabilities*>& probabilities,
                       double chainFloor = recognition::kNoChainFloor,
                       double* lastMisread = nullptr);

/// Prints the reliability table: per bin of predicted probability, the chosen codes (one per
/// photograph, as the plan would choose them), their mean probability and the share right.
void PrintReliability(std::ostream& out, const std::vector<double>& predicted,
                      const std::vector<bool>& right);

/// The evidence file of CalibrateOptions::saveEvidence: one line per candidate, with its doubts.
/// LoadEvidence appends to photos; false when the file cannot be read or a line is malformed.
/// Lines written before the doubts were kept load with no doubt.
void SaveEvidence(const std::filesystem::path& file, const std::vector<CalibrationPhoto>& photos);
bool LoadEvidence(const std::filesystem::path& file, std::vector<CalibrationPhoto>& photos);

/// The whole calibration: reads, fits, prints the tables on out and writes options.out. Returns
/// 0 when the model was written, 1 when some photograph or label was skipped (named on err) but
/// the model was written, 2 when nothing could be fitted or written.
int RunCalibrate(const CalibrateOptions& options, std::ostream& out, std::ostream& err);

/// The fit, the tables and the file of RunCalibrate on photographs already read.
int FitAndWrite(const CalibrateOptions& options, std::vector<CalibrationPhoto> photos, bool skipped,
                std::ostream& out, std::ostream& err);

}  // namespace karvona::training
