// POST /read: one photograph as the body, answered as `karvona read --json` prints it, without
// the row (a request has none) and with whether the reading is sure.
#include "cli/reading_output.hpp"
#include "recognition/read_code.hpp"
#include "service/answers.hpp"

namespace karvona::service {

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
    route.read = [&view](const RequestHead& head, std::string& body,
                         recognition::Recognizer& recognizer) {
        (void)view;
        cv::Mat photograph;
        const auto status = recognition::DecodePhotograph(
            reinterpret_cast<const unsigned char*>(body.data()), body.size(), photograph);
        std::string().swap(body);
        if (status != recognition::LoadStatus::Ok)
            return FailToLoad(status, "the photograph");
        const recognition::RecognitionResult read =
            recognition::ResultOf(recognition::ReadCodeWith(photograph, recognizer));
        const auto file = head.query.find("file");
        nlohmann::json reading =
            cli::ReadingJson({1, file == head.query.end() ? "" : file->second}, read, false);
        reading.erase("row");
        reading["sure"] = recognition::IsSureReading(read);
        return JsonAnswer(reading);
    };
    return route;
}

}  // namespace karvona::service
