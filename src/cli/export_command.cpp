#include "cli/export_command.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "cli/reading_output.hpp"
#include "service/history.hpp"

namespace karvona::cli {
namespace {

namespace fs = std::filesystem;

// The name a photograph is written under: the name the camera gave it when that is a plain
// file name not taken yet (so a folder exported twice sorts and trains the same), else its id.
std::string NameFor(const service::History::Settled& row, std::set<std::string>& taken) {
    const std::string base = fs::path(row.file).filename().string();
    const std::string ext = fs::path(base).extension().string();
    const bool plain = !base.empty() && base[0] != '.' &&
                       base.find_first_of("/\\,\"\r\n") == std::string::npos &&
                       (ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".bmp" ||
                        ext == ".JPG" || ext == ".JPEG" || ext == ".PNG" || ext == ".BMP");
    std::string name = plain ? base : "reading-" + std::to_string(row.id) + ".jpg";
    if (!taken.insert(name).second) {
        name = "reading-" + std::to_string(row.id) + "-" + (plain ? base : "photo.jpg");
        taken.insert(name);
    }
    return name;
}

}  // namespace

CLI::App* AddExportCommand(CLI::App& app, ExportOptions& options) {
    CLI::App* command = app.add_subcommand(
        "export", "Write the photographs settled at the review desk with their labels.csv");
    command->add_option("--db", options.database, "The service's history")->required();
    command->add_option("--out", options.out, "The folder to write (created when missing)")
        ->required();
    command->add_option("--since", options.since,
                        "Only readings settled at or after this UTC time (2026-12-09 or "
                        "2026-12-09T20:44)");
    command->footer(
        "labels.csv holds file,code,layout,char_height,notes: the settled code, the layout the "
        "reader found, and the reading's id in the notes. An existing labels.csv, and a "
        "photograph of the same name, is replaced.");
    return command;
}

int RunExport(const ExportOptions& options) {
    if (!fs::exists(options.database)) {
        std::fprintf(stderr, "karvona export: %s does not exist\n", options.database.c_str());
        return 2;
    }
    service::HistoryOptions historyOptions;
    historyOptions.database = options.database;
    std::string error;
    auto history = service::History::Open(historyOptions, error);
    if (!history) {
        std::fprintf(stderr, "karvona export: %s\n", error.c_str());
        return 2;
    }
    std::error_code ec;
    fs::create_directories(options.out, ec);
    if (ec) {
        std::fprintf(stderr, "karvona export: cannot create %s: %s\n", options.out.c_str(),
                     ec.message().c_str());
        return 2;
    }
    std::set<std::string> taken;
    std::string labels = "file,code,layout,char_height,notes\n";
    int written = 0, missing = 0;
    for (const auto& row : history->SettledReadings(options.since)) {
        const auto bytes = history->Photo(row.photo);
        if (!bytes) {
            std::fprintf(stderr, "karvona export: the photograph of reading %lld is not kept\n",
                         static_cast<long long>(row.id));
            ++missing;
            continue;
        }
        const std::string name = NameFor(row, taken);
        const fs::path part = fs::path(options.out) / (name + ".part");
        std::ofstream out(part, std::ios::binary);
        out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
        out.close();
        if (!out || (fs::rename(part, fs::path(options.out) / name, ec), ec)) {
            std::fprintf(stderr, "karvona export: cannot write %s\n",
                         (options.out + "/" + name).c_str());
            fs::remove(part, ec);
            ++missing;
            continue;
        }
        labels += CsvField(name) + "," + row.code + "," +
                  (row.layout >= 0 ? std::to_string(row.layout) : "") + ",,settled at the desk " +
                  row.time + " (reading " + std::to_string(row.id) + ")\n";
        ++written;
    }
    const fs::path file = fs::path(options.out) / "labels.csv";
    std::ofstream(file.string() + ".part", std::ios::binary) << labels;
    fs::rename(file.string() + ".part", file, ec);
    if (ec) {
        std::fprintf(stderr, "karvona export: cannot write %s\n", file.c_str());
        return 1;
    }
    std::printf("%d settled photograph(s) written to %s\n", written, options.out.c_str());
    return missing > 0 ? 1 : 0;
}

}  // namespace karvona::cli
