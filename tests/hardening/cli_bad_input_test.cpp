// The same broken photographs through `karvona read`: one line each with its status, the exit
// code that says some could not be read, and oversized files refused before their memory is
// taken (the tool's peak memory stays far below what one of them would need).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bad_files.hpp"
#include "drawn_photos.hpp"

#ifdef KARVONA_BIN

namespace karvona::hardening {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct ToolRun {
    std::string out;
    int exitCode = -1;
    long peakKilobytes = 0;  ///< the tool's peak resident memory
};

// Runs the tool without a shell, so that the memory figure is the tool's own. addressLimit (in
// bytes, 0 for none) caps the tool's address space; an alarm ends a tool that hangs.
ToolRun RunTool(const std::vector<std::string>& arguments, rlim_t addressLimit = 0) {
    ToolRun run;
    int out[2];
    if (pipe(out) != 0)
        return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        if (freopen("/dev/null", "w", stderr) == nullptr)
            _exit(126);
        if (addressLimit != 0) {
            const rlimit limit{addressLimit, addressLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        alarm(240);
        std::vector<char*> argv{const_cast<char*>(KARVONA_BIN)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KARVONA_BIN, argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKilobytes = usage.ru_maxrss;
    return run;
}

std::map<std::string, nlohmann::json> Lines(const std::string& out) {
    std::map<std::string, nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        if (object.is_object())
            lines[object["file"].get<std::string>()] = object;
    }
    return lines;
}

const char* StatusText(Expect e) {
    return e == Expect::Ok ? "ok" : e == Expect::TooLarge ? "too-large" : "unreadable";
}

TEST(CliBadPhotographs, OneLineWithItsStatusForEveryFile) {
    Scratch dir;
    karvona::testing::CodeDrawing d;
    const std::vector<BadPhotograph> list = WriteBadPhotographs(dir, DrawCodePhoto(d).image);
    std::vector<std::string> arguments{"read", "--json", "--data", KARVONA_SHIPPED_DATA};
    // A folder named like a photograph is, on the command line, a folder to scan: it holds no
    // photograph and gives no line. Every other argument gives exactly one.
    std::vector<BadPhotograph> files;
    for (const BadPhotograph& bad : list) {
        arguments.push_back((dir / bad.name).string());
        if (!fs::is_directory(dir / bad.name))
            files.push_back(bad);
    }

    const ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.exitCode, 1);  // some could not be read
    const auto lines = Lines(run.out);
    EXPECT_EQ(lines.size(), files.size());
    for (const BadPhotograph& bad : files) {
        const auto line = lines.find((dir / bad.name).string());
        ASSERT_NE(line, lines.end()) << bad.name;
        EXPECT_EQ(line->second["status"], StatusText(bad.expect)) << bad.name;
        if (bad.expect != Expect::Ok) {
            EXPECT_EQ(line->second["layout"], -1) << bad.name;
            EXPECT_EQ(line->second["code"], "") << bad.name;
        }
    }
    // Decoding the 20000 x 20000 image alone would take 1.2 GB, each bomb 2.7 GB; the largest
    // file read (just below the limit) takes 150 MB (and the sanitizers hold freed memory back).
    EXPECT_LT(run.peakKilobytes, (kSanitized ? 1000 : 700) * 1024);
}

TEST(CliBadPhotographs, BombsAreRefusedUnderATightMemoryLimit) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
    Scratch dir;
    WriteBytes(dir / "bomb.jpg", JpegDeclaring(30000, 30000));
    WriteBytes(dir / "bomb.png", GreyPng(30000, 30000, 2));
    WriteBytes(dir / "large.png", GreyPng(20000, 20000, 20000));
    const ToolRun run =
        RunTool({"read", "--json", "--data", KARVONA_SHIPPED_DATA, (dir / "bomb.jpg").string(),
                 (dir / "bomb.png").string(), (dir / "large.png").string()},
                600u << 20);
    EXPECT_EQ(run.exitCode, 1);
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& [file, line] : lines)
        EXPECT_EQ(line["status"], "too-large") << file;
}

TEST(CliBadPhotographs, GoodPhotographsAloneExitZero) {
    Scratch dir;
    karvona::testing::CodeDrawing d;
    const cv::Mat photo = DrawCodePhoto(d).image;
    WriteBytes(dir / "사진 폴더/container photo é.jpg", Encode(photo, ".jpg"));
    WriteBytes(dir / "1x1.bmp", Encode(cv::Mat(1, 1, CV_8UC3, cv::Scalar::all(9)), ".bmp"));
    const ToolRun run =
        RunTool({"read", "--data", KARVONA_SHIPPED_DATA,
                 (dir / "사진 폴더/container photo é.jpg").string(), (dir / "1x1.bmp").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("container photo é.jpg"), std::string::npos);
}

}  // namespace
}  // namespace karvona::hardening

#endif  // KARVONA_BIN
