#include "cli/pass_output.hpp"

#include <filesystem>

namespace karvona::cli {
namespace {

std::string NameOf(const std::string& file) {
    const std::string name = std::filesystem::path(file).filename().string();
    return name.empty() ? file : name;
}

std::string Joined(const std::vector<std::string>& files, const char* separator, bool names) {
    std::string text;
    for (const std::string& file : files) {
        if (!text.empty())
            text += separator;
        text += names ? NameOf(file) : file;
    }
    return text;
}

}  // namespace

nlohmann::ordered_json PassJson(const shell::PassResult& pass) {
    nlohmann::ordered_json codes = nlohmann::ordered_json::array();
    for (const shell::PassCode& code : pass.codes) {
        codes.push_back(nlohmann::ordered_json{
            {"code", code.code}, {"sure", code.sure}, {"photos", code.photos}});
    }
    return {
        {"pass", pass.pass}, {"codes", codes}, {"unused", pass.unused}, {"review", pass.review}};
}

std::string PassCsvHeader() {
    return "pass,code,sure,photos,unused,review";
}

std::string PassLines(OutputFormat format, const shell::PassResult& pass) {
    switch (format) {
        case OutputFormat::kJson:
            // File names need not be UTF-8; such bytes are replaced rather than failing the run.
            return PassJson(pass).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        case OutputFormat::kCsv: {
            const std::string tail = "," + CsvField(Joined(pass.unused, ";", false)) + "," +
                                     (pass.review ? "true" : "false");
            if (pass.codes.empty())
                return CsvField(pass.pass) + ",,false,," + tail.substr(1);
            std::string lines;
            for (const shell::PassCode& code : pass.codes) {
                if (!lines.empty())
                    lines += "\n";
                lines += CsvField(pass.pass) + "," + code.code + "," +
                         (code.sure ? "true" : "false") + "," +
                         CsvField(Joined(code.photos, ";", false)) + tail;
            }
            return lines;
        }
        case OutputFormat::kText:
            break;
    }
    std::string codes;
    for (const shell::PassCode& code : pass.codes) {
        if (!codes.empty())
            codes += "; ";
        codes += code.code + (code.sure ? " sure (" : " not sure (") +
                 Joined(code.photos, ", ", true) + ")";
    }
    return pass.pass + "\t" + (codes.empty() ? "-" : codes) +
           "\tunused: " + (pass.unused.empty() ? "-" : Joined(pass.unused, ", ", true)) +
           (pass.review ? "\treview" : "");
}

}  // namespace karvona::cli
