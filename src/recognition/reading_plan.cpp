#include "recognition/reading_plan.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <opencv2/imgproc.hpp>

#include "classifier/iso6346.hpp"
#include "recognition/chain_reader.hpp"
#include "recognition/check_digit_choice.hpp"
#include "recognition/colour.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/line_choice.hpp"
#include "recognition/line_crops.hpp"
#include "recognition/look.hpp"
#include "recognition/net_choice.hpp"
#include "recognition/reading_doubts.hpp"
#include "recognition/reading_plan_state.hpp"
#include "recognition/recognizer.hpp"

namespace karvona::recognition {

LookOutput Keep(const Recognizer& pass, int look, const std::string& name,
                const cv::Matx23d& fromPhoto, bool samePixels) {
    LookOutput kept;
    kept.look = look;
    kept.name = name;
    kept.result = pass.result;
    kept.fromPhoto = fromPhoto;
    kept.morphology = pass.morphologyReading;
    kept.cluster = pass.clusterReading;
    // The strips are the pass's own, redrawn by its next look: they are copied only then.
    kept.morphologyStrip = pass.morphologyStrip;
    kept.clusterStrip = pass.clusterStrip;
    kept.region = pass.region;
    kept.pasted = pass.pastedRegion;
    if (samePixels)
        kept.display = pass.displayImage;
    return kept;
}

void Detach(LookOutput& kept, const Recognizer& pass) {
    if (kept.morphologyStrip.data == pass.morphologyStrip.data)
        kept.morphologyStrip = kept.morphologyStrip.clone();
    if (kept.clusterStrip.data == pass.clusterStrip.data)
        kept.clusterStrip = kept.clusterStrip.clone();
}

namespace {

// A reading that has not validated is kept for the operator when it says more than the one kept
// so far: a winner over none, then more characters, then a better score.
bool SaysMore(const RecognitionResult& a, const RecognitionResult& b) {
    if ((a.reader != Winner::None) != (b.reader != Winner::None))
        return a.reader != Winner::None;
    if (a.code.size() != b.code.size())
        return a.code.size() > b.code.size();
    return a.score > b.score;
}

/// A photograph where none of the first kGiveUpLooks looks taken read kGiveUpCharacters boxes
/// (in either reader) is neither turned, sheared nor repaired any further: on the training
/// photographs those looks never made a sure code of one (800 synthetic of seeds 3301 and 3302,
/// real-gate train and train-1024, a third of other-gate train). The larger scale is still
/// taken: characters too small for the working scale read as few boxes until the scale of 2.
constexpr size_t kGiveUpLooks = 7;
constexpr size_t kGiveUpCharacters = 8;

/// The chain reader's look: its name and the layouts its codes are given (one line across, one
/// line down, two lines, two columns, three lines).
constexpr const char* kChainLookName = "chains";
constexpr int kChainLayout = 1;

int LayoutOf(const ChainCode& chain) {
    const bool down = chain.shape.direction == ChainDirection::kDown;
    if (chain.shape.lines == 3)
        return 5;
    if (chain.shape.lines == 2)
        return down ? 4 : 3;
    return down ? 2 : kChainLayout;
}

/// The most second looks read at once.
constexpr int kMostLookThreads = 8;

/// Whether candidate c, read after the whole photograph gave nothing sure (a crop, the chains),
/// is one more opinion rather than a settlement: one of the first `earlier` candidates read a
/// near variant of its code, or the network hardly reads one of its written characters. With
/// likely (the candidates' confidences, as for a chain's code), only a variant of kContradicting
/// or more counts: on the training photographs every chain code alone whose near variants all
/// stayed below that was right, and every wrong one had a variant of 0.94 or more. Crops count
/// every variant: for them the same rule let a wrong code through at 0.99.
bool OneMoreOpinion(const std::vector<Candidate>& candidates, size_t earlier, size_t c,
                    const std::vector<double>* likely = nullptr) {
    static const size_t written = static_cast<size_t>(EvidenceIndex("net_written_min"));
    const std::string& code = candidates[c].code;
    if (candidates[c].evidence.values[written] < kCropNetFloor)
        return true;
    for (size_t j = 0; j < earlier; ++j) {
        if (IsNearVariant(candidates[j].code, code) &&
            (likely == nullptr || (*likely)[j] >= kContradicting))
            return true;
    }
    return false;
}

bool LaterLooksHopeless(const std::vector<LookRecord>& records) {
    if (records.size() != kGiveUpLooks)
        return false;
    return std::none_of(records.begin(), records.end(), [](const LookRecord& record) {
        return std::max(record.morphology.characters.size(), record.cluster.characters.size()) >=
               kGiveUpCharacters;
    });
}

}  // namespace

int ReadingPlan::LookThreads(const RunState& run) {
    return std::clamp(run.out.options.lookThreads, 1, kMostLookThreads);
}

ReadingPlan::ReadingPlan(const ReferenceData& data)
    : data_(data), pass_(std::make_unique<Recognizer>(data)) {
    if (data.characterNet != nullptr)
        net_ = std::make_unique<classifier::CharacterNet>(*data.characterNet);
    if (data.lineNet != nullptr)
        line_ = std::make_unique<classifier::LineNet>(*data.lineNet);
}

ReadingPlan::~ReadingPlan() = default;

void ReadingPlan::Start(Recognizer& out, LoadStatus status) {
    candidates_.clear();
    records_.clear();
    RecognitionResult& result = out.result;
    result = RecognitionResult{};
    result.status = status;
    result.confidence = 0.0f;
    result.pass = "none";
    out.morphologyReading = Reading{};
    out.clusterReading = Reading{};
    out.region.release();
    out.pastedRegion.release();
}

void ReadingPlan::Prepare(RunState& run) {
    const cv::Mat& photo = run.photo;
    run.scale = WorkingScale(photo.size());
    run.working = photo;
    if (run.scale < 1.0) {
        cv::resize(photo, run.working,
                   cv::Size(std::max(1, int(std::lround(photo.cols * run.scale))),
                            std::max(1, int(std::lround(photo.rows * run.scale)))),
                   0, 0, cv::INTER_AREA);
    }
    run.workingFromPhoto = cv::Matx23d(double(run.working.cols) / photo.cols, 0, 0, 0,
                                       double(run.working.rows) / photo.rows, 0);

    Recognizer& out = run.out;
    if (out.options.colourPass) {
        const auto colourStart = Clock::now();
        out.result.hue = ExtractDominantHue(run.working);
        out.swatchImage = MakeColourSwatch(out.result.hue);
        out.result.times.colour = MillisecondsSince(colourStart);
    }

    Recognizer& pass = *pass_;
    pass.options = RecognitionOptions{};
    pass.options.strict = true;
    pass.options.viewer = out.options.viewer;
    pass.options.samplesFolder = out.options.samplesFolder;
    pass.processedCount = out.processedCount;
}

const cv::Mat& ReadingPlan::ScaledPhoto(RunState& run, double scale) const {
    // Looks at one scale share the scaled photograph: it is made once and repaired apart.
    auto it = std::find_if(run.scaled.begin(), run.scaled.end(),
                           [&](const auto& kept) { return kept.first == scale; });
    if (it == run.scaled.end()) {
        run.scaled.emplace_back(scale, MakeLookImage(run.photo, run.scale, Look{"", scale}).image);
        it = std::prev(run.scaled.end());
    }
    return it->second;
}

bool ReadingPlan::ImageOf(RunState& run, const Look& look, LookImage& image) const {
    if (look.scale != 1.0) {
        const cv::Mat& scaled = ScaledPhoto(run, look.scale);
        Look rest = look;
        rest.scale = 1.0;
        image = MakeLookImage(scaled, 1.0, rest);
        const cv::Matx23d scaling(double(scaled.cols) / run.photo.cols, 0, 0, 0,
                                  double(scaled.rows) / run.photo.rows, 0);
        image.fromPhoto = Compose(image.fromPhoto, scaling);
        return true;
    }
    // Turns and shears start from the working image made once.
    image = MakeLookImage(run.working, 1.0, look);
    image.fromPhoto = Compose(image.fromPhoto, run.workingFromPhoto);
    // A repair that found nothing to repair would read the working image again.
    return look.repair == Repair::kNone || image.image.data != run.working.data;
}

void ReadingPlan::ReadWithNet(classifier::CharacterNet* net, Recognizer& pass) {
    // The network reads the boxes of each reading that has a box for every character (only
    // those can give a code): a look whose reading did not validate asks it for a code, and a
    // validated code takes its probabilities as evidence.
    if (net == nullptr || !pass.result.located())
        return;
    for (Reading* reading : {&pass.morphologyReading, &pass.clusterReading}) {
        const bool wins = reading == &pass.WinningReading();
        if (reading->characters.size() == classifier::kCodeLength &&
            (!pass.result.complete || wins))
            ReadBoxesWithNet(*net, *reading);
    }
}

void ReadingPlan::AddCandidate(RunState& run, const CandidateSource& from, bool byNet,
                               bool byLine) {
    const Reading& reading = *from.reading;
    const std::string& code = from.code;
    if (CheckDigitIsEmptyFrame(reading))
        return;  // a frame with no digit in it gives no check digit
    run.netMade.push_back(byNet);
    run.lineMade.push_back(byLine);
    Candidate candidate;
    candidate.code = code;
    candidate.look = from.look;
    candidate.guided = from.guided;
    candidate.reader = from.reader;
    candidate.own = OwnConfidence(reading, code, from.reader);
    candidate.evidence =
        EvidenceOfReading(reading, code, from.reader, from.look, from.layoutCode, data_);
    candidate.netTwin = net_ && !byNet && !byLine && data_.prefixes != nullptr &&
                        NetReadsTwinOwner(*net_, reading, code, *data_.prefixes);
    candidate.lineGoesOn = CodeLineGoesOn(*from.region, reading, from.layoutCode);
    candidate.tallBox = HasTallBox(reading);
    // A crop cuts the code out anew and may cut it a character off: its reading must be evenly
    // spaced.
    candidate.cropDoubt = run.cropping && !byLine && UnevenlySpaced(reading, from.layoutCode);
    if (net_ && !byLine && data_.prefixes != nullptr)
        candidate.twinShare = TwinOwnerNetShare(*net_, reading, code, *data_.prefixes);
    if (!byLine)
        candidate.guidedNet = GuidedNetProbability(reading, code);
    if (byLine)
        MarkLineReading(candidate.evidence);
    candidates_.push_back(candidate);
}

void ReadingPlan::Offer(RunState& run, int look, const Recognizer& pass) {
    const RecognitionResult& read = pass.result;
    const size_t before = candidates_.size();
    auto offer = [&](const std::string& code, Winner reader, const Reading& reading, bool guided,
                     bool byNet = false, bool byLine = false) {
        AddCandidate(run, {code, reader, &reading, guided, look, read.layoutCode, &pass.region},
                     byNet, byLine);
    };
    if (read.complete && read.code.size() == 11) {
        offer(read.code, read.reader, pass.WinningReading(), false);
        return;
    }
    if (data_.prefixes == nullptr)
        return;
    GuidedChoice choice;
    if (ChooseByCheckDigit(pass.morphologyReading, *data_.prefixes, choice))
        offer(choice.code, Winner::Morphology, pass.morphologyReading, true);
    if (ChooseByCheckDigit(pass.clusterReading, *data_.prefixes, choice))
        offer(choice.code, Winner::Cluster, pass.clusterReading, true);
    // The network's code, where the codebooks' choice gave none.
    if (candidates_.size() == before && net_) {
        if (ChooseByNet(pass.morphologyReading, *data_.prefixes, choice))
            offer(choice.code, Winner::Morphology, pass.morphologyReading, true, true);
        else if (ChooseByNet(pass.clusterReading, *data_.prefixes, choice))
            offer(choice.code, Winner::Cluster, pass.clusterReading, true, true);
    }
    // The line network's code, where no reader's boxes gave one.
    const Winner by = LineEvidenceReader(pass.morphologyReading, pass.clusterReading);
    const Reading& boxes = by == Winner::Cluster ? pass.clusterReading : pass.morphologyReading;
    if (candidates_.size() == before && line_ && run.lineReads++ < kLineReadsPerPhoto &&
        ChooseByLineNet(*line_, pass.region, read.layoutCode, boxes, *data_.prefixes, choice))
        offer(choice.code, by, boxes, true, false, true);
}

bool ReadingPlan::TakeChainLook(RunState& run, int k) {
    if (!net_ || data_.prefixes == nullptr || run.working.empty())
        return false;
    // Not one of the records: the give-up rule counts the looks at regions the locator found.
    const RecognitionOptions& options = run.out.options;
    const bool view = options.readerStepView && options.viewer != nullptr;
    std::vector<ChainPiece> pieces;
    const std::vector<ChainCode> codes =
        ReadChains(run.working, *net_, data_, view ? &pieces : nullptr);
    if (view)
        options.viewer->Show("chains", DrawChains(run.working, pieces, codes));
    if (codes.empty())
        return false;
    const ChainCode& chain = codes.front();
    const size_t before = candidates_.size();
    AddCandidate(
        run,
        {chain.code, Winner::Morphology, &chain.reading, false, k, LayoutOf(chain), &run.working},
        false, false);
    if (candidates_.size() == before)
        return false;
    Candidate& candidate = candidates_.back();
    candidate.evidence.values[static_cast<size_t>(EvidenceIndex("chains"))] = 1.0;
    candidate.evidence.values[static_cast<size_t>(EvidenceIndex("chain_uneven"))] =
        chain.evenlySpaced ? 0.0 : 1.0;
    // As for a crop: the chain's code may be one more opinion, not a settlement.
    const std::vector<double> confidences = CandidateConfidences(candidates_, data_.confidence);
    candidate.cropDoubt = OneMoreOpinion(candidates_, before, before, &confidences);

    LookOutput kept;
    kept.look = k;
    kept.name = kChainLookName;
    kept.fromPhoto = run.workingFromPhoto;
    kept.morphology = chain.reading;
    cv::Rect region = chain.reading.characters.front().box;
    for (const BoxReading& box : chain.reading.characters)
        region |= box.box;
    // Half a character's height around it.
    const int margin = (chain.shape.direction == ChainDirection::kAcross && chain.shape.lines == 1
                            ? region.height
                            : chain.reading.characters.front().box.height) /
                       2;
    region = cv::Rect(region.x - margin, region.y - margin, region.width + 2 * margin,
                      region.height + 2 * margin) &
             cv::Rect(0, 0, run.working.cols, run.working.rows);
    RecognitionResult& result = kept.result;
    result.complete = true;
    result.code = chain.code;
    result.layoutCode = LayoutOf(chain);
    result.reader = Winner::Morphology;
    result.score = chain.reading.score;
    result.region = region;
    run.chainRegion = RectInPhoto(region, run.workingFromPhoto, run.photo.size());
    kept.region = run.working(region).clone();
    kept.pasted = kept.region;
    run.kept.push_back(std::move(kept));
    return IsSure(candidates_, before, confidences, run.threshold, run.chainFloor);
}

bool ReadingPlan::TakeLook(RunState& run, int k, const Look& look) {
    LookImage image;
    if (!WorthTaking(run, look) || !ImageOf(run, look, image))
        return false;
    Recognizer& out = run.out;
    Recognizer& pass = *pass_;
    // Step views and samples belong to the first look only: it is the pass as it always was,
    // and the others would repeat them many times over.
    pass.options.locatorStepView = k == 0 && out.options.locatorStepView;
    pass.options.readerStepView = k == 0 && out.options.readerStepView;
    pass.options.saveSamples = k == 0 && out.options.saveSamples;
    pass.options.samples = k == 0 ? out.options.samples : nullptr;
    return ReadLook(run, k, look, image);
}

bool ReadingPlan::ReadLook(RunState& run, int k, const Look& look, const LookImage& image) {
    Recognizer& pass = *pass_;
    DetachAll(run, pass);
    pass.RecognizeLoaded(image.image);
    ReadWithNet(net_.get(), pass);
    return Consume(run, k, look, pass, image);
}

int ReadingPlan::TakeLineLooks(RunState& run, int k) {
    // The looks at the working scale again, on the photograph cut down to a region grown along
    // its line and brought up to the working frame; named "crop" and the look.
    // After the regions found, the chain's code: read again by the readers' own boxes, it is a
    // second opinion.
    std::vector<cv::Rect> crops = LineCrops(run.found, run.photo.size());
    if (!run.chainRegion.empty()) {
        const std::vector<cv::Rect> chain =
            LineCrops({{run.chainRegion, classifier::kCodeLength}}, run.photo.size());
        crops.insert(crops.end(), chain.begin(), chain.end());
    }
    run.cropping = true;
    const int threads = LookThreads(run);
    for (const cv::Rect& crop : crops) {
        const double s = run.scale * LineCropScale(crop.size(), run.scale);
        cv::Mat cropped;
        cv::resize(run.photo(crop), cropped,
                   cv::Size(std::max(1, int(std::lround(crop.width * s))),
                            std::max(1, int(std::lround(crop.height * s)))),
                   0, 0, s < 1.0 ? cv::INTER_AREA : cv::INTER_CUBIC);
        const cv::Matx23d toCrop(
            double(cropped.cols) / crop.width, 0, -crop.x * double(cropped.cols) / crop.width, 0,
            double(cropped.rows) / crop.height, -crop.y * double(cropped.rows) / crop.height);
        // The images are made in order, and read as many at once as the plan has threads.
        const std::vector<Look>& second = SecondLooks();
        std::vector<CropLook> round;
        for (int j = 0; j <= static_cast<int>(second.size()); ++j) {
            Look look = j == 0 ? FirstLook() : second[static_cast<size_t>(j - 1)];
            if (look.scale != 1.0)
                continue;  // the crop is at its scale already
            LookImage image = MakeLookImage(cropped, 1.0, look);
            if (look.repair != Repair::kNone && image.image.data == cropped.data)
                continue;  // nothing to repair
            image.fromPhoto = Compose(image.fromPhoto, toCrop);
            look.name = j == 0 ? "crop" : "crop " + look.name;
            round.push_back({k++, look, std::move(image)});
            if (static_cast<int>(round.size()) == threads) {
                if (ReadCropLooksAtOnce(run, round))
                    return k;
                round.clear();
            }
        }
        if (!round.empty() && ReadCropLooksAtOnce(run, round))
            return k;
    }
    return k;
}

void ReadingPlan::DetachAll(RunState& run, const Recognizer& pass) {
    for (LookOutput& earlier : run.kept)
        Detach(earlier, pass);
    Detach(run.fallback, pass);
}

bool ReadingPlan::Consume(RunState& run, int k, const Look& look, const Recognizer& pass,
                          const LookImage& image) {
    Recognizer& out = run.out;
    const RecognitionResult& read = pass.result;
    out.result.times.locate += read.times.locate;
    out.result.times.read += read.times.read;

    LookRecord record;
    record.name = look.name;
    record.layoutCode = read.layoutCode;
    record.morphology = pass.morphologyReading;
    record.cluster = pass.clusterReading;
    record.ms = read.ms;
    records_.push_back(record);
    run.turnsGivenUp = run.turnsGivenUp || (!out.options.everyLook && LaterLooksHopeless(records_));

    const size_t before = candidates_.size();
    Offer(run, k, pass);
    // A crop is read only when the whole photograph gave nothing sure.
    for (size_t c = before; run.cropping && c < candidates_.size(); ++c)
        candidates_[c].cropDoubt =
            candidates_[c].cropDoubt || OneMoreOpinion(candidates_, before, c);
    const bool samePixels =
        image.image.data == run.photo.data && image.image.size() == run.photo.size();
    if (candidates_.size() > before)
        run.kept.push_back(Keep(pass, k, look.name, image.fromPhoto, samePixels));
    else if (run.fallback.look < 0 || SaysMore(read, run.fallback.result))
        run.fallback = Keep(pass, k, look.name, image.fromPhoto, samePixels);
    run.located = run.located || read.located();
    if (read.located()) {
        int characters = 0;
        for (const char c : read.code)
            characters += c != '-' ? 1 : 0;
        run.found.push_back(
            {RectInPhoto(read.region, image.fromPhoto, run.photo.size()), characters});
    }
    if (candidates_.size() == before)
        return false;
    const std::vector<double> confidences = CandidateConfidences(candidates_, data_.confidence);
    for (size_t c = before; c < candidates_.size(); ++c) {
        if (IsSure(candidates_, c, confidences, run.threshold, run.chainFloor))
            return true;
    }
    return false;
}

bool ReadingPlan::Stops(const RunState& run, bool sure) const {
    return sure && !run.out.options.everyLook;
}

bool ReadingPlan::WorthTaking(const RunState& run, const Look& look) {
    if (look.needsRegion() && !run.located)
        return false;
    return !run.turnsGivenUp ||
           (look.rotate == 0.0 && look.shear == 0.0 && look.repair == Repair::kNone);
}

void ReadingPlan::Finish(RunState& run) {
    Recognizer& out = run.out;
    RecognitionResult& result = out.result;
    const Decision decision = Decide(candidates_, run.threshold, data_.confidence);
    const LookOutput* chosen = run.fallback.look >= 0 ? &run.fallback : nullptr;
    if (decision.candidate >= 0) {
        const Candidate& candidate = candidates_[static_cast<size_t>(decision.candidate)];
        for (const LookOutput& look : run.kept) {
            if (look.look == candidate.look)
                chosen = &look;
        }
    }
    if (chosen == nullptr)
        return;
    const RecognitionResult& read = chosen->result;
    result.layoutCode = read.layoutCode;
    result.reader = read.reader;
    result.score = read.score;
    result.complete = read.complete;
    result.code = read.code;
    result.region = RectInPhoto(read.region, chosen->fromPhoto, run.photo.size());
    result.corners = CornersInPhoto(read.region, chosen->fromPhoto);
    result.pass = read.reader != Winner::None || read.located() ? chosen->name : "none";
    out.morphologyReading = chosen->morphology;
    out.clusterReading = chosen->cluster;
    chosen->morphologyStrip.copyTo(out.morphologyStrip);
    chosen->clusterStrip.copyTo(out.clusterStrip);
    out.region = chosen->region;
    out.pastedRegion = chosen->pasted;
    if (decision.candidate >= 0) {
        const auto index = static_cast<size_t>(decision.candidate);
        const Candidate& candidate = candidates_[index];
        result.code = candidate.code;
        result.complete = true;
        result.reader = candidate.reader;
        result.score =
            (candidate.reader == Winner::Cluster ? chosen->cluster : chosen->morphology).score;
        result.confidence = static_cast<float>(decision.confidence);
        result.review = !decision.sure;
        if (run.lineMade[index])
            result.pass += " line";
        else if (run.netMade[index])
            result.pass += " net";
        else if (candidate.guided)
            result.pass += " check-digit";
    }
    if (read.located())
        out.layoutText = LayoutText(read.layoutCode, out.layoutText);
    if (result.reader != Winner::None) {
        const bool a = result.reader == Winner::Morphology;
        (a ? out.morphologyStrip : out.clusterStrip).copyTo(out.panelImage);
        // The region as its pass pasted it (with the marks of that pass's winner).
        if (!chosen->display.empty())
            out.displayImage = chosen->display;
        else
            PasteRegion(out.displayImage, chosen->pasted);
    }
}

bool ReadingPlan::Run(Recognizer& out, LoadStatus status) {
    const auto t0 = Clock::now();
    Start(out, status);
    RunState run(out, out.sourceImage);
    run.threshold = data_.confidence != nullptr ? data_.confidence->threshold : kSureThreshold;
    run.chainFloor = data_.confidence != nullptr ? data_.confidence->chainFloor : kNoChainFloor;
    if (!run.photo.empty()) {
        Prepare(run);
        const int looks = 1 + static_cast<int>(SecondLooks().size());
        const int threads = LookThreads(run);
        // The first look alone: most photographs are sure there.
        bool stopped = Stops(run, TakeLook(run, 0, FirstLook()));
        for (int k = 1; k < looks && !stopped; k += threads) {
            const int end = std::min(looks, k + threads);
            stopped = end - k > 1 ? TakeLooksAtOnce(run, k, end)
                                  : Stops(run, TakeLook(run, k, SecondLooks()[k - 1]));
        }
        if (!stopped)
            stopped = Stops(run, TakeChainLook(run, looks));
        if (!stopped)
            TakeLineLooks(run, looks + 1);
    }
    Finish(run);

    RecognitionResult& result = out.result;
    out.resultText = result.code;
    result.ms = MillisecondsSince(t0);
    char text[32];
    std::snprintf(text, sizeof text, "%dms ", result.ms);
    out.timeText = text;
    out.resultColour =
        result.review ? kReviewColour : ResultColour(result.complete, out.resultText.size());
    return result.complete;
}

}  // namespace karvona::recognition
