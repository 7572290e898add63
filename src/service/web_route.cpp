// The desk's web page: the files of the web folder (HTML, CSS, JavaScript), read once when the
// service starts and answered from memory, "/" with index.html. Only the names found there are
// routes, so no request names a path of its own.
#include <fstream>
#include <sstream>

#include "service/answers.hpp"

namespace karvona::service {
namespace {

const char* TypeOf(const std::string& extension) {
    if (extension == ".html")
        return "text/html; charset=utf-8";
    if (extension == ".css")
        return "text/css; charset=utf-8";
    if (extension == ".js")
        return "text/javascript; charset=utf-8";
    if (extension == ".svg")
        return "image/svg+xml";
    if (extension == ".png")
        return "image/png";
    return nullptr;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name[0] != '.' &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.") == std::string::npos;
}

}  // namespace

std::vector<Route> WebRoutes(const ServiceView& view) {
    std::vector<Route> routes;
    const auto& folder = view.options.webFolder;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return routes;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const char* type = TypeOf(entry.path().extension().string());
        if (!entry.is_regular_file(ec) || type == nullptr || !IsPlainName(name))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        Answer answer;
        answer.contentType = type;
        answer.body = bytes.str();
        Route route;
        route.path = name == "index.html" ? "/" : "/" + name;
        route.method = "GET";
        route.answer = [answer](const RequestHead&) { return answer; };
        routes.push_back(std::move(route));
    }
    return routes;
}

}  // namespace karvona::service
