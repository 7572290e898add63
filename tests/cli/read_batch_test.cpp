// `karvona read` as a batch run: folders, the start row, the archive, samples, output formats,
// parallel workers, pictures written, and Ctrl-C.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool_run.hpp"

extern char** environ;

namespace karvona::cli::testing {
namespace {

const std::string kAbcu = "ABCU1234560";
const std::string kTghu = "TGHU7654320";
const std::string kUnlisted = "MSCU3054389";  // a right check digit, an unknown owner

class ReadBatch : public ToolTest {
protected:
    // Rows: in/a.jpg (read completely), in/b.BMP (two lines, read completely), in/e.jpg (eleven
    // characters, not validated), in/sub/d.jpg (no code); in/c.tif is no photograph.
    fs::path Folder() {
        const fs::path in = dir() / "in";
        Photo(in / "a.jpg", kAbcu);
        Photo(in / "b.BMP", kTghu, 3);
        Photo(in / "c.tif", kAbcu);
        Photo(in / "e.jpg", kUnlisted);
        Photo(in / "sub" / "d.jpg", "");
        return in;
    }
    fs::path Archive(const char* folder) { return Root() / "recognized" / folder; }
};

std::vector<nlohmann::json> JsonLines(const std::string& out, bool dropMs = true) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(out)) {
        nlohmann::json o = nlohmann::json::parse(line);
        if (dropMs)
            o.erase("ms");
        objects.push_back(o);
    }
    return objects;
}

TEST_F(ReadBatch, FolderBackupArchivesByOutcomeAndSummarises) {
    const fs::path in = Folder();
    const ToolRun run = Read("--backup --lang ko " + Quoted(in));
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 6u);
    // The option's message names the real archive folder, before any reading.
    EXPECT_EQ(lines[0], "인식된 영상은 " + (Root() / "recognized").string() + " 에 저장됩니다.  ");
    EXPECT_EQ(lines[1].rfind("1\t" + (in / "a.jpg").string() + "\t" + kAbcu + "\tcomplete\t", 0),
              0u)
        << lines[1];
    EXPECT_NE(lines[2].find("\t" + kTghu + "\tcomplete\tHORIZONTAL 2 LINES\t"), std::string::npos);
    EXPECT_NE(lines[3].find("\t" + kUnlisted + "\tincomplete\t"), std::string::npos);
    EXPECT_NE(lines[3].find("\tmistake"), std::string::npos);
    EXPECT_NE(lines[4].find((in / "sub" / "d.jpg").string() + "\t-\tincomplete\tno region"),
              std::string::npos);
    EXPECT_NE(lines[4].find("\tun"), std::string::npos);
    EXPECT_EQ(run.out.find("c.tif"), std::string::npos);

    for (const char* folder : {"perpect", "mistake", "trymore", "un"})
        EXPECT_TRUE(fs::is_directory(Archive(folder))) << folder;
    EXPECT_EQ(FilesUnder(Root() / "recognized"),
              (std::set<std::string>{"perpect/000001_[ABCU1234560].jpg",
                                     "perpect/000002_[TGHU7654320].BMP",
                                     "mistake/000003_[MSCU3054389].jpg", "un/000004_[].jpg"}));
    EXPECT_EQ(ReadText(Archive("perpect") / "000001_[ABCU1234560].jpg"), ReadText(in / "a.jpg"));
    EXPECT_TRUE(fs::exists(in / "a.jpg"));  // copied, not moved

    EXPECT_NE(
        run.out.find(" [ 모든 파일 인식 결과 ]\n총 파일 수     4장 中     3장(75.0%) 인식\n\n:"
                     "     2장(50.0%)을 완벽히 인식하였으며,  \n      1장(25.0%)을 10자 이상 "
                     "인식하였음.  \n\n수행시간은 "),
        std::string::npos)
        << run.out;

    // A second run finds the names taken: nothing is replaced, each copy gets a free name.
    fs::resize_file(Archive("perpect") / "000001_[ABCU1234560].jpg", 3);
    const ToolRun again = Read("--backup --lang ko " + Quoted(in));
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(fs::file_size(Archive("perpect") / "000001_[ABCU1234560].jpg"), 3u);
    EXPECT_EQ(ReadText(Archive("perpect") / "000001_[ABCU1234560]_2.jpg"), ReadText(in / "a.jpg"));
    EXPECT_EQ(ReadText(Archive("un") / "000004_[]_2.jpg"), ReadText(in / "sub" / "d.jpg"));
    EXPECT_NE(again.out.find("2장(50.0%)을 완벽히"), std::string::npos);
    EXPECT_EQ(again.err.find("not archived"), std::string::npos) << again.err;
}

// Failed archive copies used to be printed while the run still ended with 0; each names its
// cause.
TEST_F(ReadBatch, FailedArchiveCopyEndsWithOneAndIsNamedInTheSummary) {
    const fs::path in = Folder();
    fs::create_directories(Root() / "recognized");
    std::ofstream(Archive("perpect")) << "a file where the folder should be";
    const ToolRun run = Read("--backup --lang en " + Quoted(in));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("karvona read: not archived (copy failed: Not a directory): " +
                           (in / "a.jpg").string()),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("Not copied into the archive: 2 files:\n  " + (in / "a.jpg").string() +
                           "\n  " + (in / "b.BMP").string()),
              std::string::npos)
        << run.out;
    // The others are archived; nothing of the two is left half-written anywhere.
    EXPECT_EQ(
        FilesUnder(Root() / "recognized"),
        (std::set<std::string>{"perpect", "mistake/000003_[MSCU3054389].jpg", "un/000004_[].jpg"}));
}

TEST_F(ReadBatch, StartRowAndKeptNamesInCsv) {
    const fs::path in = Folder();
    const fs::path odd = in / "a,\"x\".jpg";  // a name that needs quoting
    fs::rename(in / "a.jpg", odd);
    // Rows 1 to 4 from the folder, row 5 the file given once more.
    const ToolRun run = Read("--lang ko --format csv --start 2 --backup --keep-names " +
                             Quoted(in) + " " + Quoted(odd));
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u) << run.out;  // the header and rows 2 to 5; notes go to stderr
    EXPECT_EQ(lines[0],
              "row,file,code,complete,layout,layoutText,reader,ms,status,reason,outcome,"
              "confidence,pass");
    EXPECT_EQ(lines[1].rfind("2," + (in / "b.BMP").string() + "," + kTghu +
                                 ",true,3,HORIZONTAL 2 LINES,morphology,",
                             0),
              0u)
        << lines[1];
    // TGHU's check sum leaves 10: sure only once a second look agrees.
    EXPECT_EQ(lines[1].substr(lines[1].size() - 30), ",ok,ok,perpect,1.00,scale 0.75");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 25), ",ok,ok,mistake,0.00,first");
    EXPECT_EQ(lines[3].substr(lines[3].size() - 19), ",ok,ok,un,0.00,none");
    EXPECT_EQ(lines[4].rfind("5,\"" + (in / "a,\"\"x\"\".jpg").string() + "\"," + kAbcu, 0), 0u)
        << lines[4];
    EXPECT_EQ(FilesUnder(Root() / "recognized"),
              (std::set<std::string>{"perpect/b.BMP", "mistake/e.jpg", "un/000004_d.jpg",
                                     "perpect/a,\"x\".jpg"}));
    EXPECT_NE(run.err.find("인식된 영상은 "), std::string::npos);
    EXPECT_NE(run.err.find("총 파일 수     4장 中     3장(75.0%) 인식"), std::string::npos);
}

TEST_F(ReadBatch, ParallelRunGivesTheLinesArchiveAndSamplesOfASerialRun) {
    const fs::path in = dir() / "many";
    // Few photographs, so that the ThreadSanitizer build reads them in seconds: more than the
    // two workers, one without a code, in four layouts.
    const std::vector<std::string> codes = {kAbcu, kTghu, "", kAbcu};
    for (size_t i = 0; i < codes.size(); ++i)
        Photo(in / ("p" + std::to_string(i) + ".jpg"), codes[i], static_cast<int>(i % 7));
    const std::string args = "--json --backup --save-samples " + Quoted(in);
    const ToolRun one = Read("--lang ko --jobs 1 " + args, dir() / "one");
    const ToolRun two = Read("--lang ko --jobs 2 " + args, dir() / "two");
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(two.exitCode, 0) << two.err;
    const auto serial = JsonLines(one.out);
    ASSERT_EQ(serial.size(), codes.size());
    EXPECT_EQ(JsonLines(two.out), serial);
    EXPECT_EQ(FilesUnder(dir() / "two" / "recognized"), FilesUnder(dir() / "one" / "recognized"));
    const std::set<std::string> samples = FilesUnder(dir() / "one" / "characters");
    EXPECT_EQ(FilesUnder(dir() / "two" / "characters"), samples);
    // The second photograph's samples carry the processed count 1 and its index in the reading.
    EXPECT_EQ(samples.count("T/T_00001_00_.bmp"), 1u);
    EXPECT_EQ(samples.count("7/7_00001_04_.bmp"), 1u);
    EXPECT_EQ(samples.count("A/A_00000_00_.bmp"), 1u);
    EXPECT_EQ(samples.count("1/1_00000_04_.bmp"), 1u);
    EXPECT_TRUE(fs::is_directory(dir() / "one" / "characters" / "Q"));
    EXPECT_NE(one.err.find("추출된 문자는 " + (dir() / "one" / "characters").string() +
                           " 에 저장됩니다.  "),
              std::string::npos);
}

TEST_F(ReadBatch, AnnotationsStepViewsAndSwatchesAreWritten) {
    const fs::path photo = Photo(dir() / "in" / "a.jpg", kAbcu);
    const fs::path flat = Photo(dir() / "in" / "flat.jpg", "");
    const ToolRun run = Read("--colour --annotate " + Quoted(dir() / "ann") + " --steps " +
                             Quoted(dir() / "steps") + " " + Quoted(photo) + " " + Quoted(flat));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("\thue "), std::string::npos);

    const cv::Mat display = cv::imread((dir() / "ann" / "000001_a-display.png").string());
    EXPECT_EQ(display.size(), cv::Size(640, 480));
    EXPECT_EQ(cv::imread((dir() / "ann" / "000001_a-panel.png").string()).size(),
              cv::Size(1100, 150));
    EXPECT_EQ(cv::imread((dir() / "ann" / "000001_a-swatch.png").string()).size(), cv::Size(5, 5));
    // No reader won on the flat photograph: its display is written, no panel of another one.
    EXPECT_TRUE(fs::exists(dir() / "ann" / "000002_flat-display.png"));
    EXPECT_FALSE(fs::exists(dir() / "ann" / "000002_flat-panel.png"));

    const std::set<std::string> steps = FilesUnder(dir() / "steps" / "000001_a");
    EXPECT_GT(steps.size(), 5u);
    for (const std::string& name : steps)
        EXPECT_EQ(fs::path(name).extension(), ".png") << name;
    EXPECT_FALSE(FilesUnder(dir() / "steps" / "000002_flat").empty());
}

// Ctrl-C during a run: the photographs under way finish, and those done are printed, archived
// and summarised; the exit code says the run did not reach the end.
TEST_F(ReadBatch, InterruptStopsBetweenPhotographsAndSummarises) {
    const fs::path in = dir() / "many";
    for (int i = 0; i < 40; ++i)
        Photo(in / ("p" + std::to_string(100 + i) + ".jpg"), kAbcu);
    const std::string data = Data().string();
    setenv("KARVONA_ROOT", Root().c_str(), 1);

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {KARVONA_BIN, "read",   "--backup", "--lang",
                                     "ko",        "--data", data,       in.string()};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KARVONA_BIN, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    FILE* stream = fdopen(out[0], "r");
    std::string text;
    char buffer[4096];
    bool interrupted = false;
    while (fgets(buffer, sizeof buffer, stream) != nullptr) {
        text += buffer;
        if (!interrupted && text.find("\tperpect") != std::string::npos) {
            kill(pid, SIGINT);  // after the first photograph is done
            interrupted = true;
        }
    }
    fclose(stream);
    int status = 0;
    waitpid(pid, &status, 0);
    unsetenv("KARVONA_ROOT");

    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    int readLines = 0;
    for (const std::string& line : Lines(text))
        readLines += line.find("\tperpect") != std::string::npos;
    EXPECT_GE(readLines, 1);
    EXPECT_LT(readLines, 40);
    char summary[64];
    std::snprintf(summary, sizeof summary, "총 파일 수 %5d장 中 %5d장", readLines, readLines);
    EXPECT_NE(text.find(summary), std::string::npos) << text;
    EXPECT_EQ(FilesUnder(Root() / "recognized" / "perpect").size(), static_cast<size_t>(readLines));
}

}  // namespace
}  // namespace karvona::cli::testing
