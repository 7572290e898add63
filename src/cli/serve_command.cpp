#include "cli/serve_command.hpp"

#include <malloc.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <opencv2/core/utility.hpp>
#include <thread>

#include "cli/data_option.hpp"
#include "service/history.hpp"
#include "service/service.hpp"

namespace karvona::cli {
namespace {

// "HOST:PORT", "[IPv6]:PORT" or ":PORT" (all addresses); false when it is none of them.
bool SplitAddress(const std::string& address, std::string& host, int& port) {
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon + 1 >= address.size())
        return false;
    const std::string digits = address.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(digits);
    if (port > 65535)
        return false;
    host = address.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        host = "0.0.0.0";
    return true;
}

// The token of --token-file: its first line without surrounding blanks.
bool ReadToken(const std::string& file, std::string& token) {
    std::ifstream in(file);
    if (!in || !std::getline(in, token))
        return false;
    const size_t first = token.find_first_not_of(" \t\r");
    token = first == std::string::npos ? "" : token.substr(first);
    token.erase(token.find_last_not_of(" \t\r") + 1);
    return token.size() >= 16;
}

// share/karvona/web beside the installed program, else web/ beside a program in its build tree.
std::filesystem::path DefaultWebFolder() {
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    const auto installed = program.parent_path().parent_path() / "share/karvona/web";
    return std::filesystem::is_directory(installed, ec) ? installed : program.parent_path() / "web";
}

}  // namespace

std::string DefaultHistoryPath() {
    if (const char* root = std::getenv("KARVONA_ROOT"); root != nullptr && *root != '\0')
        return (std::filesystem::path(root) / "history.db").string();
    std::filesystem::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/')
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        state = std::filesystem::path(home) / ".local/state";
    else
        state = std::filesystem::current_path();
    return (state / "karvona/history.db").string();
}

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& serve) {
    CLI::App* command = app.add_subcommand(
        "serve", "Answer readings over HTTP: POST /read, POST /pass, GET /health");
    command->add_option("--listen", serve.listen, "Address and port to listen on (port 0: any)")
        ->capture_default_str();
    command->add_option("--jobs", serve.jobs, "Readings at once; further requests wait in turn")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    command
        ->add_option("--timeout", serve.timeoutSeconds,
                     "Seconds a request may take from its first byte to its answer (arriving, "
                     "waiting, reading)")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    AddDataOption(*command, serve.dataFolder);
    command->add_flag("--quiet", serve.quiet, "No line per request on stderr");
    command
        ->add_option("--log-format", serve.logFormat,
                     "The line per request on stderr: text (TIME CLIENT METHOD PATH STATUS BYTES "
                     "MS) or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    command->add_option("--db", serve.database,
                        "The SQLite history of every answer (default: $KARVONA_ROOT/history.db, "
                        "else $XDG_STATE_HOME/karvona/history.db)");
    command
        ->add_option("--keep-photos", serve.keepPhotos,
                     "all: keep each photograph once, by its hash, beside the history; none: "
                     "keep the readings only")
        ->check(CLI::IsMember({"all", "none"}))
        ->capture_default_str();
    command
        ->add_option("--keep-days", serve.keepDays,
                     "Delete readings and their photographs older than this many days (0: keep)")
        ->check(CLI::Range(0, 36500))
        ->capture_default_str();
    command->add_option("--token-file", serve.tokenFile,
                        "A file whose first line is the token the desk's routes ask for "
                        "(Authorization: Bearer); without it a service listening beyond "
                        "loopback refuses settle and delete");
    command->add_option("--web", serve.webFolder,
                        "The desk's web page (default: ../share/karvona/web beside the program)");
    command->footer(
        "POST /read takes one photograph (JPEG, PNG or BMP) as the body, with Content-Type "
        "image/jpeg, image/png, image/bmp or application/octet-stream, and answers the JSON "
        "object of `karvona read --json` (?file=NAME puts a name into it). POST /pass takes the "
        "photographs of one truck pass as multipart/form-data (a field \"pass\" names it) and "
        "answers the object of `karvona read --passes --json`. GET /health answers the version "
        "and the reference data. Bad input answers 4xx with {\"error\": ..., \"reason\": ...}. "
        "A known path with another method answers 405 with an Allow header; a full queue answers "
        "503 with Retry-After. SIGTERM or Ctrl-C lets the readings in flight finish and ends with "
        "exit code 0. The "
        "port actually bound is printed on stderr when the service is ready. The review desk is "
        "the page at / and the JSON routes under /desk/ (see docs/openapi.yaml).");
    return command;
}

namespace {

service::ServiceOptions ServiceOptionsFrom(const ServeOptions& options, const std::string& host,
                                           int port, const std::filesystem::path& dataFolder,
                                           service::History* history, const std::string& token) {
    service::ServiceOptions serviceOptions;
    serviceOptions.host = host;
    serviceOptions.port = port;
    serviceOptions.jobs = options.jobs;
    serviceOptions.timeout = std::chrono::seconds(options.timeoutSeconds);
    serviceOptions.dataFolder = dataFolder;
    serviceOptions.history = history;
    serviceOptions.token = token;
    serviceOptions.webFolder =
        options.webFolder.empty() ? DefaultWebFolder() : std::filesystem::path(options.webFolder);
    serviceOptions.logRequests = !options.quiet;
    serviceOptions.logFormat =
        options.logFormat == "json" ? service::LogFormat::kJson : service::LogFormat::kText;
    return serviceOptions;
}

// Runs the service on a thread of its own until it ends or one of stopSignals (blocked on every
// thread) arrives, which lets the readings in flight finish. Whether the service ran well.
bool ServeUntilStopped(service::Service& service, const sigset_t& stopSignals) {
    std::atomic<bool> finished{false};
    bool served = false;
    std::thread server([&] {
        served = service.Run();
        finished = true;
    });
    while (!finished) {
        const timespec wait{0, 200'000'000};
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal == SIGTERM || signal == SIGINT) {
            std::fprintf(stderr, "karvona serve: stopping after the readings in flight\n");
            service.Stop();
            break;
        }
    }
    server.join();
    return served;
}

}  // namespace

int RunServe(const ServeOptions& options) {
    std::string host;
    int port = 0;
    if (!SplitAddress(options.listen, host, port)) {
        std::fprintf(stderr, "karvona serve: --listen %s is not HOST:PORT\n",
                     options.listen.c_str());
        return 2;
    }
    recognition::ReferenceDataSet data;
    std::filesystem::path folder;
    if (!LoadReferenceDataOrReport(options.dataFolder, "serve", data, &folder)) {
        std::fprintf(stderr, "karvona serve: the service does not start\n");
        return kNoReferenceDataExit;
    }
    std::string token;
    if (!options.tokenFile.empty() && !ReadToken(options.tokenFile, token)) {
        std::fprintf(stderr,
                     "karvona serve: --token-file %s cannot be read or holds no token of 16 "
                     "characters or more on its first line\n",
                     options.tokenFile.c_str());
        return 2;
    }
    service::HistoryOptions historyOptions;
    historyOptions.database = options.database.empty() ? DefaultHistoryPath() : options.database;
    historyOptions.keepPhotos = options.keepPhotos != "none";
    historyOptions.keepDays = options.keepDays;
    std::string historyError;
    auto history = service::History::Open(historyOptions, historyError);
    if (!history) {
        std::fprintf(stderr, "karvona serve: %s\nkarvona serve: the service does not start\n",
                     historyError.c_str());
        return 2;
    }
    if (options.jobs > 1)
        cv::setNumThreads(1);  // the readings fill the cores

    // Every thread started from here on inherits the blocked signals; this thread takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

    // Large bodies and photographs come from mmap and go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    service::Service service(data,
                             ServiceOptionsFrom(options, host, port, folder, history.get(), token));
    const int bound = service.Bind();
    if (bound < 0) {
        std::fprintf(stderr, "karvona serve: cannot listen on %s: %s\n", options.listen.c_str(),
                     service.bindError().c_str());
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return 1;
    }
    std::fprintf(stderr,
                 "karvona serve: listening on %s:%d with %d reading(s) at once, history in %s\n",
                 host.c_str(), bound, options.jobs, historyOptions.database.c_str());
    std::fflush(stderr);

    const bool served = ServeUntilStopped(service, stopSignals);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return served ? 0 : 1;
}

}  // namespace karvona::cli
