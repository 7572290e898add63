// POST /read: one photograph as the body, answered as `karvona read --json` prints it, without
// the row (a request has none) and with whether the reading is sure.
#include "cli/reading_output.hpp"
#include "recognition/recognizer.hpp"
#include "service/answers.hpp"
#include "service/kept_readings.hpp"

namespace karvona::service {
namespace {

std::string QueryValue(const RequestHead& head, const char* key) {
    const auto found = head.query.find(key);
    return found == head.query.end() ? "" : found->second;
}

}  // namespace

Route ReadRoute(const ServiceView& view) {
    Route route;
    route.path = "/read";
    route.method = "POST";
    route.admit = [](const RequestHead& head) -> std::optional<Answer> {
        if (IsFormData(head.contentType) || !IsPhotographType(head.contentType))
            return Fail(415, "unsupported-media-type",
                        "send the photograph's bytes with Content-Type image/jpeg, image/png, "
                        "image/bmp or application/octet-stream (several photographs of a pass go "
                        "to /pass)");
        return std::nullopt;
    };
    route.read = [&view](const RequestHead& head, std::string& body) {
        cv::Mat photograph;
        const auto status = recognition::DecodePhotograph(
            reinterpret_cast<const unsigned char*>(body.data()), body.size(), photograph);
        const auto file = head.query.find("file");
        const std::string name = file == head.query.end() ? "" : file->second;
        if (status != recognition::LoadStatus::Ok) {
            recognition::RecognitionResult failed;
            failed.status = status;
            KeptReading kept{name, QueryValue(head, "pass"), {}, &failed, {}, {}};
            if (auto refused = KeepReadings(view, head, {kept}))
                return *refused;
            return FailToLoad(status, "the photograph");
        }
        KeptReading kept{name, QueryValue(head, "pass"), body, nullptr, {}, {}};
        const recognition::RecognitionResult read = ReadForKeeping(view, photograph, kept);
        kept.result = &read;
        if (auto refused = KeepReadings(view, head, {kept}))
            return *refused;
        std::string().swap(body);
        nlohmann::json reading = cli::ReadingJson({1, name}, read, false);
        reading.erase("row");
        reading["sure"] = recognition::IsSureReading(read);
        return JsonAnswer(reading);
    };
    return route;
}

}  // namespace karvona::service
