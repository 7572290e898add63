// POST /pass: the photographs of one truck pass as multipart/form-data, answered as `karvona
// read --passes --json` prints the pass. The deadline is checked before every photograph.
#include "cli/pass_output.hpp"
#include "recognition/recognizer.hpp"
#include "service/answers.hpp"
#include "service/kept_readings.hpp"
#include "service/multipart.hpp"
#include "shell/passes.hpp"

namespace karvona::service {
namespace {

std::optional<Answer> Admit(const RequestHead& head) {
    std::string boundary;
    if (!IsFormData(head.contentType, &boundary))
        return Fail(415, "unsupported-media-type",
                    "send the photographs of a pass as multipart/form-data, one file part each");
    if (boundary.empty())
        return Fail(400, "bad-multipart", "the multipart/form-data type names no boundary");
    return std::nullopt;
}

}  // namespace

Route PassRoute(const ServiceView& view) {
    Route route;
    route.path = "/pass";
    route.method = "POST";
    route.admit = Admit;
    route.read = [&view](const RequestHead& head, std::string& body) {
        const size_t most = view.options.maxPassPhotographs;
        std::string boundary;
        IsFormData(head.contentType, &boundary);
        std::vector<FormPart> parts;
        const FormStatus split = SplitForm(body, boundary, most + 1, parts);
        if (split == FormStatus::kMalformed)
            return Fail(400, "bad-multipart", "the body is not multipart/form-data as declared");
        const auto named = head.query.find("pass");
        std::string passName = named == head.query.end() ? "" : named->second;
        std::vector<const FormPart*> files;
        for (const auto& part : parts) {
            if (part.filename.empty() && part.name == "pass")
                passName = std::string(part.content);
            else if (!part.filename.empty() || !part.content.empty())
                files.push_back(&part);
        }
        if (split == FormStatus::kTooManyParts || files.size() > most)
            return Fail(413, "too-large",
                        "more than " + std::to_string(most) + " photographs in one pass");
        if (files.empty())
            return Fail(400, "empty", "the pass holds no photograph");

        std::vector<shell::PassPhoto> photos;
        std::vector<KeptReading> kept(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            if (Clock::now() > head.deadline)
                return Busy("deadline", "the pass was not read before the time was up");
            const FormPart& part = *files[i];
            const std::string name = !part.filename.empty() ? part.filename
                                     : !part.name.empty()   ? part.name
                                                            : "photograph " + std::to_string(i + 1);
            cv::Mat photograph;
            recognition::RecognitionResult reading;
            reading.status = recognition::DecodePhotograph(
                reinterpret_cast<const unsigned char*>(part.content.data()), part.content.size(),
                photograph);
            if (reading.status == recognition::LoadStatus::Ok)
                reading = ReadForKeeping(view, photograph, kept[i]);
            photos.push_back({name, name, reading});
        }
        for (size_t i = 0; i < photos.size(); ++i) {
            kept[i].file = photos[i].file;
            kept[i].pass = passName;
            if (photos[i].reading.status == recognition::LoadStatus::Ok)
                kept[i].photo = files[i]->content;
            kept[i].result = &photos[i].reading;
        }
        if (auto refused = KeepReadings(view, head, kept))
            return *refused;
        return JsonAnswer(cli::PassJson(shell::FusePass(passName, photos, *view.data.prefixes)));
    };
    return route;
}

}  // namespace karvona::service
