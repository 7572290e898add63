#pragma once
// The reading plan: what the recognizer does with a photograph when it is not strict. The
// photograph is read at its working scale by the single pass; when that gives no sure code, the
// pass reads transformed copies of it (the second look) until one gives a sure code or the looks
// run out or only the scales are left (after looks that read too few characters).
// The check-digit-guided choice is tried on every look's reading of eleven characters. The look
// that produced the chosen reading fills the recognizer's fields, its region mapped back onto
// the photograph as given. The colour pass reads the working image; step views and character
// samples come from the first look only.

#include <memory>
#include <string>
#include <vector>

#include "recognition/confidence.hpp"
#include "recognition/look.hpp"
#include "recognition/reading_pass.hpp"
#include "recognition/result.hpp"

namespace karvona::recognition {

class Recognizer;

/// What one look of a run produced, kept for measuring (`blackbox --dump`).
struct LookRecord {
    std::string name;
    int layoutCode = -1;  ///< -1: no region
    Reading morphology;   ///< empty when the reader found nothing
    Reading cluster;      ///< empty when the reader did not run or found nothing
    int ms = 0;
};

class ReadingPlan {
public:
    explicit ReadingPlan(const ReferenceData& data);
    ~ReadingPlan();

    /// Reads out.sourceImage (already loaded with the given status; displayImage its clone) and
    /// fills out's result and pictures. Returns whether a validated code was chosen (sure or for
    /// review).
    bool Run(Recognizer& out, LoadStatus status);

    /// The candidates and looks of the last run, in the order the looks were taken.
    const std::vector<Candidate>& candidates() const { return candidates_; }
    const std::vector<LookRecord>& records() const { return records_; }

private:
    struct RunState;
    void Start(Recognizer& out, LoadStatus status);
    void Prepare(RunState& run);
    struct Helper;
    /// The photograph at a look scale, made on the first call.
    const cv::Mat& ScaledPhoto(RunState& run, double scale) const;
    /// The image of a look; false when a repair found nothing to repair (the look is not taken).
    bool ImageOf(RunState& run, const Look& look, LookImage& image) const;
    static void ReadWithNet(classifier::CharacterNet* net, Recognizer& pass);
    /// Copies what the kept looks still share with pass before pass reads again.
    static void DetachAll(RunState& run, const Recognizer& pass);
    /// The candidates the pass's readings of one look give.
    void Offer(RunState& run, int look, const Recognizer& pass);
    /// Where a candidate code comes from: the reading whose boxes are its evidence, the look,
    /// the layout and the image the boxes stand in.
    struct CandidateSource {
        const std::string& code;
        Winner reader;
        const Reading* reading;
        bool guided;
        int look;
        int layoutCode;
        const cv::Mat* region;
    };
    /// Adds the candidate with its evidence and doubts (none for a check digit in an empty frame).
    void AddCandidate(RunState& run, const CandidateSource& from, bool byNet, bool byLine);
    /// The chain reader's look (chain_reader.hpp) at the working image: its surest code, as the
    /// look numbered k. Whether it is sure.
    bool TakeChainLook(RunState& run, int k);
    /// Reads one look; true when it gave a sure code.
    bool TakeLook(RunState& run, int k, const Look& look);
    /// What pass read of look k becomes: its record, candidates and kept output; true when it
    /// gave a sure code.
    bool Consume(RunState& run, int k, const Look& look, const Recognizer& pass,
                 const LookImage& image);
    /// Whether the plan stops after a look (sure: the look gave a sure code).
    bool Stops(const RunState& run, bool sure) const;
    /// Whether a look is taken after the looks so far.
    static bool WorthTaking(const RunState& run, const Look& look);
    /// Reads the second looks k to end - 1 at once on as many threads and takes them in order;
    /// true when the plan stops at one of them.
    bool TakeLooksAtOnce(RunState& run, int k, int end);
    /// How many looks are read at once (RecognitionOptions::lookThreads, within bounds).
    static int LookThreads(const RunState& run);
    /// The pass that reads slot i of looks read at once (pass_ for the first, else a helper) and
    /// its network, made ready for the round: no step views or samples, nothing of its last
    /// reading shared with the kept looks.
    Recognizer& LookPass(RunState& run, size_t slot, classifier::CharacterNet*& net);
    /// A look at a crop: its number, the look and its image.
    struct CropLook {
        int k;
        Look look;
        LookImage image;
    };
    /// Reads crop looks at once, on as many threads, and takes them in order; true when the plan
    /// stops at one of them.
    bool ReadCropLooksAtOnce(RunState& run, std::vector<CropLook>& looks);
    /// Reads the image of one look, numbered k; true when it gave a sure code.
    bool ReadLook(RunState& run, int k, const Look& look, const LookImage& image);
    /// When no look gave a sure code: the looks again on crops around the regions found, numbered
    /// from k on; gives the next number.
    int TakeLineLooks(RunState& run, int k);
    /// The chosen look fills the recognizer's fields.
    void Finish(RunState& run);

    ReferenceData data_;
    std::unique_ptr<Recognizer> pass_;  ///< the single pass, strict
    /// This plan's own character network (a network runs on one thread at a time), when the
    /// reference data has one.
    std::unique_ptr<classifier::CharacterNet> net_;
    std::unique_ptr<classifier::LineNet> line_;
    /// The passes that read looks at once beside pass_ (RecognitionOptions::lookThreads).
    std::vector<std::unique_ptr<Helper>> helpers_;
    std::vector<Candidate> candidates_;
    std::vector<LookRecord> records_;
};

}  // namespace karvona::recognition
