#include "service/kept_readings.hpp"

#include <opencv2/imgcodecs.hpp>
#include <stdexcept>

#include "recognition/read_code.hpp"
#include "service/answers.hpp"
#include "service/history.hpp"

namespace karvona::service {

recognition::RecognitionResult ReadForKeeping(const ServiceView& view, const cv::Mat& photograph,
                                              KeptReading& kept) {
    karvona::ReadOptions options = view.readOptions();
    karvona::ReadingPictures pictures;
    const bool keepStrip = view.history != nullptr && view.history->keepsPhotos();
    if (keepStrip)
        options.pictures = &pictures;
    const karvona::CodeReading reading = karvona::ReadCode(photograph, view.reading, options);
    if (reading.error == karvona::ReadError::kInternal)
        throw std::runtime_error("the reading failed");  // answered 500, never as a reading
    if (keepStrip && !pictures.region.empty()) {
        kept.strip = pictures.region;
        for (const karvona::CodeCharacter& character : reading.characters)
            kept.characters.push_back(character.box);
    }
    return recognition::ResultOf(reading);
}

std::optional<Answer> KeepReadings(const ServiceView& view, const RequestHead& head,
                                   const std::vector<KeptReading>& readings) {
    if (view.history == nullptr)
        return std::nullopt;
    std::vector<HistoryEntry> entries;
    for (const KeptReading& kept : readings) {
        const recognition::RecognitionResult& r = *kept.result;
        HistoryEntry e;
        e.client = head.client;
        e.pass = kept.pass;
        e.file = kept.file;
        e.code = r.code;
        e.outcome = recognition::OutcomeFolderName(recognition::OutcomeOf(r));
        e.sure = recognition::IsSureReading(r);
        e.confidence = r.confidence;
        e.reason = recognition::LoadStatusName(r.status);
        e.look = r.pass;
        e.layout = r.layoutCode;
        e.region = r.region;
        e.photo = kept.photo;
        std::vector<unsigned char> jpeg;  // a tenth of PNG's time: this is on the request's path
        if (!kept.photo.empty() && !kept.strip.empty() &&
            cv::imencode(".jpg", kept.strip, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92})) {
            e.strip.assign(jpeg.begin(), jpeg.end());
            e.characters = kept.characters;
        }
        entries.push_back(std::move(e));
    }
    std::vector<std::int64_t> ids;
    std::string why, text;
    if (view.history->Record(entries, ids, why, text))
        return std::nullopt;
    std::fprintf(stderr, "karvona serve: %s\n", text.c_str());
    Answer answer =
        Busy(why == "disk-full" ? "disk-full" : "history-failed",
             why == "disk-full" ? "the disk of the history is full: the reading was not kept"
                                : "the history cannot be written: the reading was not kept");
    return answer;
}

}  // namespace karvona::service
