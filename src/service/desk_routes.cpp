// The review desk's JSON routes: the readings that were not sure, newest first; one reading; a
// search; the figures of a day; a photograph by its hash; the owner list; and the two routes
// that change the history, settle and delete, which take JSON bodies only.
//
//   GET  /desk/queue?limit=N&before=ID       unsure readings nobody settled yet
//   GET  /desk/reading?id=ID
//   GET  /desk/search?code=&from=&to=&outcome=&pass=&limit=&before=
//   GET  /desk/figures?day=YYYY-MM-DD        (UTC; today without it)
//   GET  /desk/photo?hash=SHA256             the photograph's bytes
//   GET  /desk/strip?id=ID                   the code region as the reader cut it out (JPEG)
//   GET  /desk/owners                        the owner prefixes the codes are checked against
//   POST /desk/settle  {"id": ID, "code": "ABCU1234560", "by": "name"}
//   POST /desk/delete  {"id": ID}
#include <algorithm>
#include <cstring>

#include "service/answers.hpp"
#include "service/history.hpp"

namespace karvona::service {
namespace {

constexpr std::uint64_t kLargestDeskBody = 16 * 1024;

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// Compares without stopping at the first difference, so the time says nothing of the token.
bool SameSecret(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return differ == 0;
}

// Who may use a desk route: with a token set, only who presents it; without one, anybody on a
// service that listens on loopback only, and nobody elsewhere for the routes that change data.
// A request that a proxy passed on counts as from elsewhere: behind nginx on the same machine
// every peer is loopback, whoever sent the request.
std::optional<Answer> Guard(const ServiceView& view, const RequestHead& head, bool changes) {
    if (view.history == nullptr)
        return Fail(404, "no-history", "this service keeps no history");
    const std::string& token = view.options.token;
    if (!token.empty()) {
        if (!SameSecret(head.authorization, "Bearer " + token))
            return Fail(401, "unauthorized", "send the desk's token as Authorization: Bearer");
        return std::nullopt;
    }
    if (changes && !IsLoopback(view.options.host))
        return Fail(403, "token-required",
                    "a service that listens beyond loopback changes its history only when "
                    "started with --token-file");
    if (changes && head.forwarded)
        return Fail(403, "token-required",
                    "a request passed on by a proxy changes the history only when the service "
                    "was started with --token-file");
    return std::nullopt;
}

std::string Query(const RequestHead& head, const char* key) {
    const auto found = head.query.find(key);
    return found == head.query.end() ? "" : found->second;
}

// A positive whole number of at most 18 digits (ids, limits); 0 when it is not one.
std::int64_t Number(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoll(text);
}

// "2026-12-09", "2026-12-09T20", ... "2026-12-09T20:44:30.123Z": a prefix of the form the
// history writes its times in.
bool IsTimePrefix(const std::string& text) {
    static const char* shape = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() < 10 || text.size() > std::strlen(shape))
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i])
            return false;
    }
    return true;
}

bool IsOutcome(const std::string& text) {
    for (const char* name : {"perpect", "review", "mistake", "trymore", "un", "unsure", "settled"})
        if (text == name)
            return true;
    return false;
}

// The search fields of a query string, checked; an answer when one is wrong.
std::optional<Answer> SearchOf(const RequestHead& head, HistoryQuery& query) {
    query.code = Query(head, "code");
    std::transform(query.code.begin(), query.code.end(), query.code.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (query.code.size() > 11 ||
        query.code.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") != std::string::npos)
        return Fail(400, "bad-code", "code: at most 11 letters and digits");
    query.from = Query(head, "from");
    query.to = Query(head, "to");
    if ((!query.from.empty() && !IsTimePrefix(query.from)) ||
        (!query.to.empty() && !IsTimePrefix(query.to)))
        return Fail(400, "bad-time", "from and to: UTC times as 2026-12-09 or 2026-12-09T20:44");
    query.outcome = Query(head, "outcome");
    if (!query.outcome.empty() && !IsOutcome(query.outcome))
        return Fail(400, "bad-outcome",
                    "outcome: perpect, review, mistake, trymore, un, unsure or settled");
    query.pass = Query(head, "pass");
    if (query.pass.size() > 200)
        return Fail(400, "bad-pass", "pass: at most 200 characters");
    const std::string limit = Query(head, "limit"), before = Query(head, "before");
    if (!limit.empty() && (Number(limit) <= 0 || Number(limit) > 500))
        return Fail(400, "bad-limit", "limit: a number from 1 to 500");
    if (!limit.empty())
        query.limit = static_cast<int>(Number(limit));
    if (!before.empty() && Number(before) <= 0)
        return Fail(400, "bad-id", "before: a reading's id");
    query.before = Number(before);
    return std::nullopt;
}

Route Get(std::string path, std::function<Answer(const RequestHead&)> answer) {
    Route route;
    route.path = std::move(path);
    route.method = "GET";
    route.answer = std::move(answer);
    return route;
}

// The admission of a body that changes the history: the token, JSON, a declared small length.
std::optional<Answer> AdmitChange(const ServiceView& view, const RequestHead& head) {
    if (auto refused = Guard(view, head, true))
        return refused;
    const std::string type = head.contentType.substr(0, head.contentType.find(';'));
    if (type != "application/json")
        return Fail(415, "unsupported-media-type", "send a JSON object as application/json");
    if (!head.contentLength || *head.contentLength > kLargestDeskBody)
        return Fail(413, "too-large", "send a JSON object of declared length, at most 16 KiB");
    return std::nullopt;
}

// The JSON object of a change, with only the named fields; an answer when it is not that.
std::optional<Answer> ObjectOf(const std::string& body, std::vector<const char*> fields,
                               nlohmann::ordered_json& object) {
    object = nlohmann::ordered_json::parse(body, nullptr, false);
    if (object.is_discarded() || !object.is_object())
        return Fail(400, "bad-json", "the body is not a JSON object");
    for (const auto& item : object.items()) {
        if (std::find_if(fields.begin(), fields.end(),
                         [&](const char* f) { return item.key() == f; }) == fields.end())
            return Fail(400, "unknown-field", "the body holds an unknown field: " + item.key());
    }
    const auto id = object.find("id");
    if (id == object.end() || !id->is_number_integer() || id->get<std::int64_t>() <= 0)
        return Fail(400, "bad-id", "id: the positive whole number of a reading");
    return std::nullopt;
}

Route Change(const ServiceView& view, std::string path,
             std::function<Answer(const RequestHead&, const std::string&)> take) {
    Route route;
    route.path = std::move(path);
    route.method = "POST";
    route.admit = [&view](const RequestHead& head) { return AdmitChange(view, head); };
    route.take = std::move(take);
    return route;
}

Answer Settle(const ServiceView& view, const std::string& body) {
    nlohmann::ordered_json object;
    if (auto refused = ObjectOf(body, {"id", "code", "by"}, object))
        return *refused;
    const auto code = object.find("code");
    if (code == object.end() || !code->is_string() || !IsPossibleCode(code->get<std::string>()))
        return Fail(422, "bad-code",
                    "code: four capital letters, six digits and the check digit that matches "
                    "them");
    std::string by;
    if (const auto who = object.find("by"); who != object.end()) {
        if (!who->is_string() || who->get<std::string>().size() > 64)
            return Fail(400, "bad-by", "by: a name of at most 64 bytes");
        by = who->get<std::string>();
    }
    const std::int64_t id = object["id"].get<std::int64_t>();
    if (view.history->Settle(id, code->get<std::string>(), by) == SettleStatus::kUnknownId)
        return Fail(404, "unknown-reading", "no reading has the id " + std::to_string(id));
    return JsonAnswer(
        {{"reading", view.history->Reading(id)},
         {"ownerKnown", view.data.prefixes->Contains(code->get<std::string>().substr(0, 4))}});
}

Answer Delete(const ServiceView& view, const std::string& body) {
    nlohmann::ordered_json object;
    if (auto refused = ObjectOf(body, {"id"}, object))
        return *refused;
    const std::int64_t id = object["id"].get<std::int64_t>();
    if (!view.history->Delete(id))
        return Fail(404, "unknown-reading", "no reading has the id " + std::to_string(id));
    return JsonAnswer({{"deleted", id}});
}

const char* PhotoType(const std::string& bytes) {
    if (bytes.rfind("\xff\xd8", 0) == 0)
        return "image/jpeg";
    if (bytes.rfind("\x89PNG", 0) == 0)
        return "image/png";
    if (bytes.rfind("BM", 0) == 0)
        return "image/bmp";
    return "application/octet-stream";
}

Answer PhotoAnswer(const ServiceView& view, const RequestHead& head) {
    if (auto refused = Guard(view, head, false))
        return *refused;
    const std::string hash = Query(head, "hash");
    if (!History::IsHash(hash))
        return Fail(400, "bad-hash", "hash: the 64 lower-case hexadecimal digits of a photo");
    auto bytes = view.history->Photo(hash);
    if (!bytes)
        return Fail(404, "unknown-photo", "no photograph of that hash is kept");
    Answer answer;
    answer.contentType = PhotoType(*bytes);
    answer.body = std::move(*bytes);
    return answer;
}

Answer StripAnswer(const ServiceView& view, const RequestHead& head) {
    if (auto refused = Guard(view, head, false))
        return *refused;
    const std::int64_t id = Number(Query(head, "id"));
    if (id <= 0)
        return Fail(400, "bad-id", "id: the positive whole number of a reading");
    auto bytes = view.history->Strip(id);
    if (!bytes)
        return Fail(404, "unknown-photo", "no region picture is kept for that reading");
    Answer answer;
    answer.contentType = "image/jpeg";
    answer.body = std::move(*bytes);
    return answer;
}

}  // namespace

std::vector<Route> DeskRoutes(const ServiceView& view) {
    std::vector<Route> routes;
    routes.push_back(Get("/desk/queue", [&view](const RequestHead& head) {
        if (auto refused = Guard(view, head, false))
            return *refused;
        HistoryQuery query;
        if (auto refused = SearchOf(head, query))
            return *refused;
        query.outcome = "unsure";
        query.unsettledOnly = true;
        return JsonAnswer({{"readings", view.history->Find(query)}});
    }));
    routes.push_back(Get("/desk/search", [&view](const RequestHead& head) {
        if (auto refused = Guard(view, head, false))
            return *refused;
        HistoryQuery query;
        if (auto refused = SearchOf(head, query))
            return *refused;
        return JsonAnswer({{"readings", view.history->Find(query)}});
    }));
    routes.push_back(Get("/desk/reading", [&view](const RequestHead& head) {
        if (auto refused = Guard(view, head, false))
            return *refused;
        const std::int64_t id = Number(Query(head, "id"));
        if (id <= 0)
            return Fail(400, "bad-id", "id: the positive whole number of a reading");
        nlohmann::ordered_json reading = view.history->Reading(id);
        if (reading.is_null())
            return Fail(404, "unknown-reading", "no reading has the id " + std::to_string(id));
        return JsonAnswer(reading);
    }));
    routes.push_back(Get("/desk/figures", [&view](const RequestHead& head) {
        if (auto refused = Guard(view, head, false))
            return *refused;
        std::string day = Query(head, "day");
        if (day.empty())
            day = History::Now().substr(0, 10);
        if (day.size() != 10 || !IsTimePrefix(day))
            return Fail(400, "bad-time", "day: a UTC day as 2026-12-09");
        return JsonAnswer(view.history->Figures(day));
    }));
    routes.push_back(
        Get("/desk/photo", [&view](const RequestHead& head) { return PhotoAnswer(view, head); }));
    routes.push_back(
        Get("/desk/strip", [&view](const RequestHead& head) { return StripAnswer(view, head); }));
    routes.push_back(Get("/desk/owners", [&view](const RequestHead& head) {
        if (auto refused = Guard(view, head, false))
            return *refused;
        return JsonAnswer({{"owners", view.data.prefixes->prefixes()}});
    }));
    routes.push_back(
        Change(view, "/desk/settle",
               [&view](const RequestHead&, const std::string& b) { return Settle(view, b); }));
    routes.push_back(
        Change(view, "/desk/delete",
               [&view](const RequestHead&, const std::string& b) { return Delete(view, b); }));
    return routes;
}

}  // namespace karvona::service
