// `karvona read` finds its reference data without --data and refuses to read without it; with
// --passes it answers once per truck pass; `--version` names the version.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tool_run.hpp"

namespace karvona::cli::testing {
namespace {

using CliData = ToolTest;
using CliPasses = ToolTest;

TEST_F(CliData, ReadingWithoutCodebooksIsAnErrorNamingTheFileNotDashesWithExitZero) {
    const fs::path photo = Photo(dir() / "photos/one.jpg", "TGHU7654320");

    // Nothing given, nothing in the current folder, nothing beside the build's program.
    ToolRun run = Run("read --json " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no reference data"), std::string::npos) << run.err;

    // A folder without one of the files: that file is named, and nothing is read or archived.
    const fs::path partial = dir() / "partial";
    fs::create_directories(partial);
    fs::copy_file(Data() / "prefixes.trn", partial / "prefixes.trn");
    fs::copy_file(Data() / "prefix.txt", partial / "prefix.txt");
    run = Run("read --backup --data " + Quoted(partial) + " " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find((partial / "numbers.trn").string() + " does not exist"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("prefixes.trn"), std::string::npos);
    EXPECT_FALSE(fs::exists(Root()));

    // An empty owner list would validate nothing: also an error.
    std::ofstream(partial / "prefix.txt", std::ios::trunc).flush();
    fs::copy_file(Data() / "numbers.trn", partial / "numbers.trn");
    run = Run("read --data " + Quoted(partial) + " " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("holds no owner prefixes"), std::string::npos) << run.err;
}

TEST_F(CliData, ThePlanNeedsTheCharacterNetworkAndStrictDoesNot) {
    const fs::path photo = Photo(dir() / "photos/one.jpg", "TGHU7654320");
    const fs::path data = dir() / "no-network";
    fs::create_directories(data);
    for (const char* file : {"prefixes.trn", "numbers.trn", "prefix.txt", "charnet.txt"})
        fs::copy_file(Data() / file, data / file);
    ToolRun run = Run("read --data " + Quoted(data) + " " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find((data / "charnet.onnx").string() + " does not exist"), std::string::npos)
        << run.err;
    std::ofstream(data / "charnet.onnx") << "truncated";
    run = Run("read --data " + Quoted(data) + " " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("is not a usable ONNX model"), std::string::npos) << run.err;
    run = Run("read --strict --json --data " + Quoted(data) + " " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"TGHU7654320\""), std::string::npos);
}

TEST_F(CliData, DataComesFromTheEnvironmentOrTheCurrentFolder) {
    const fs::path photo = Photo(dir() / "photos/one.jpg", "TGHU7654320");
    ToolRun run = Run("read --json " + Quoted(photo), {}, "KARVONA_DATA=" + Quoted(Data()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"TGHU7654320\""), std::string::npos);

    run = Run("read --json " + Quoted(photo), {}, "", Data());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"TGHU7654320\""), std::string::npos);

    // --data comes first: a wrong --data is not rescued by a good environment.
    run = Run("read --data " + Quoted(dir() / "photos") + " " + Quoted(photo), {},
              "KARVONA_DATA=" + Quoted(Data()));
    EXPECT_EQ(run.exitCode, 2);
}

TEST_F(CliData, VersionIsPrinted) {
    const ToolRun run = Run("--version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, std::string("karvona ") + KARVONA_VERSION + "\n");
}

TEST_F(CliPasses, OneJsonLinePerPassWithItsCodesAndUnusedPhotographs) {
    // Pass 100: two cameras read the code, a third photograph shows none. Pass 200: nothing.
    Photo(dir() / "gate/1-100-OCR-AH.jpg", "TGHU7654320");
    Photo(dir() / "gate/1-100-OCR-LF.jpg", "TGHU7654320", 2);
    Photo(dir() / "gate/1-100-OCR-RF.jpg", "");
    Photo(dir() / "gate/1-200-OCR-AH.jpg", "");

    const ToolRun run = Read("--json --jobs 2 --passes '1-(\\d+)-OCR' " + Quoted(dir() / "gate"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    const auto first = nlohmann::ordered_json::parse(lines[0]);
    std::vector<std::string> keys;
    for (const auto& item : first.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"pass", "codes", "unused", "review"}));
    EXPECT_EQ(first["pass"], "100");
    ASSERT_EQ(first["codes"].size(), 1u);
    EXPECT_EQ(first["codes"][0]["code"], "TGHU7654320");
    EXPECT_EQ(first["codes"][0]["sure"], true);
    EXPECT_EQ(first["codes"][0]["photos"],
              (std::vector<std::string>{(dir() / "gate/1-100-OCR-AH.jpg").string(),
                                        (dir() / "gate/1-100-OCR-LF.jpg").string()}));
    EXPECT_EQ(first["unused"],
              (std::vector<std::string>{(dir() / "gate/1-100-OCR-RF.jpg").string()}));
    EXPECT_EQ(first["review"], false);

    const auto second = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(second["pass"], "200");
    EXPECT_TRUE(second["codes"].empty());
    EXPECT_EQ(second["review"], true);
}

TEST_F(CliPasses, FoldersAsPassesInTextAndCsv) {
    Photo(dir() / "truck a/front.jpg", "TGHU7654320");
    Photo(dir() / "truck b/side.jpg", "");

    ToolRun run =
        Read("--passes folder " + Quoted(dir() / "truck a") + " " + Quoted(dir() / "truck b"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], (dir() / "truck a").string() + "\tTGHU7654320 sure (front.jpg)\tunused: -");
    EXPECT_EQ(lines[1], (dir() / "truck b").string() + "\t-\tunused: side.jpg\treview");

    run = Read("--format csv --passes folder " + Quoted(dir() / "truck a") + " " +
               Quoted(dir() / "truck b"));
    lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "pass,code,sure,photos,unused,review");
    EXPECT_EQ(lines[1], (dir() / "truck a").string() + ",TGHU7654320,true," +
                            (dir() / "truck a/front.jpg").string() + ",,false");
    EXPECT_EQ(lines[2], (dir() / "truck b").string() + ",,false,," +
                            (dir() / "truck b/side.jpg").string() + ",true");

    // A pattern that matches no name still reads, each photograph a pass, and says so.
    run = Read("--passes '^x-(\\d+)' " + Quoted(dir() / "truck a"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("matches no file name"), std::string::npos) << run.err;
    EXPECT_EQ(Read("--passes folder " + Quoted(dir() / "truck a")).err.find("matches no"),
              std::string::npos);

    // A pattern without a group is bad usage, found before anything is read.
    run = Read("--passes '1-\\d+' " + Quoted(dir() / "truck a"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("capture group"), std::string::npos);
}

}  // namespace
}  // namespace karvona::cli::testing
