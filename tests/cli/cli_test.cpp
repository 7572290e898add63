// The command-line tool as an operator runs it: output lines, JSON keys and exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool_run.hpp"

namespace karvona::cli::testing {
namespace {

using CliRead = ToolTest;

TEST_F(CliRead, JsonLinesHoldExactlyTheDocumentedKeys) {
    const fs::path photo = Photo(dir() / "drawn photo.jpg", "TGHU7654320");
    const fs::path missing = dir() / "missing.jpg";

    const ToolRun run = Read("--json " + Quoted(photo) + " " + Quoted(missing));
    EXPECT_EQ(run.exitCode, 1);  // one photograph could not be read
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(run.out))
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& o : objects) {
        std::vector<std::string> keys;
        for (const auto& item : o.items())
            keys.push_back(item.key());
        EXPECT_EQ(keys, (std::vector<std::string>{"code", "complete", "confidence", "file",
                                                  "layout", "layoutText", "ms", "outcome", "pass",
                                                  "reader", "reason", "row", "status"}));
    }
    EXPECT_EQ(objects[0]["row"], 1);
    EXPECT_EQ(objects[0]["file"], photo.string());
    EXPECT_EQ(objects[0]["status"], "ok");
    EXPECT_EQ(objects[0]["reason"], "ok");
    EXPECT_EQ(objects[0]["layout"], 0);
    EXPECT_EQ(objects[0]["layoutText"], "HORIZONTAL 1 LINE");
    EXPECT_EQ(objects[0]["code"], "TGHU7654320");
    EXPECT_EQ(objects[0]["complete"], true);
    EXPECT_EQ(objects[0]["outcome"], "perpect");
    EXPECT_EQ(objects[0]["confidence"], 1.0);
    // The check sum of TGHU765432 leaves 10 (check digit 0), which no single look makes sure:
    // a second look confirms it.
    EXPECT_EQ(objects[0]["pass"], "scale 0.75");
    EXPECT_EQ(objects[1]["row"], 2);
    EXPECT_EQ(objects[1]["status"], "unreadable");
    EXPECT_EQ(objects[1]["reason"], "missing");
    EXPECT_EQ(objects[1]["layout"], -1);
    EXPECT_EQ(objects[1]["reader"], "none");
    EXPECT_EQ(objects[1]["outcome"], "un");
    EXPECT_EQ(objects[1]["confidence"], 0.0);
    EXPECT_EQ(objects[1]["pass"], "none");
    // Outside text mode the statistics go to stderr, and no progress bar is drawn into a file.
    EXPECT_NE(run.err.find(" [ Results of recognizing all files ]"), std::string::npos);
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

TEST_F(CliRead, StrictLinesHoldTheKeysOfTheSinglePass) {
    const fs::path photo = Photo(dir() / "drawn photo.jpg", "TGHU7654320");
    const ToolRun run = Read("--strict --json " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 0);
    const nlohmann::json o = nlohmann::json::parse(run.out);
    std::vector<std::string> keys;
    for (const auto& item : o.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"code", "complete", "file", "layout", "layoutText", "ms",
                                        "outcome", "reader", "reason", "row", "status"}));
    EXPECT_EQ(o["outcome"], "perpect");
    // Text and CSV lines likewise end where they always did.
    const std::vector<std::string> text = Lines(Read("--strict " + Quoted(photo)).out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0].substr(text[0].size() - 8), "\tperpect") << text[0];
    const std::vector<std::string> csv = Lines(Read("--strict --format csv " + Quoted(photo)).out);
    ASSERT_EQ(csv.size(), 2u);
    EXPECT_EQ(csv[0], "row,file,code,complete,layout,layoutText,reader,ms,status,reason,outcome");
    // Without --strict the text line says how sure the reading is and which look made it.
    const std::vector<std::string> judged = Lines(Read(Quoted(photo)).out);
    ASSERT_FALSE(judged.empty());
    EXPECT_NE(judged[0].find("\tperpect\tconfidence 1.00\tpass scale 0.75"), std::string::npos)
        << judged[0];
}

TEST_F(CliRead, ExitCodes) {
    const fs::path photo = Photo(dir() / "flat.bmp", "");
    EXPECT_EQ(Run("read").exitCode, 2);
    EXPECT_EQ(Run("read --no-such-option x.jpg").exitCode, 2);
    EXPECT_EQ(Run("").exitCode, 2);
    EXPECT_EQ(Read("--start 0 " + Quoted(photo)).exitCode, 2);
    EXPECT_EQ(Read("--start 2 " + Quoted(photo)).exitCode, 2);  // past the only row
    EXPECT_EQ(Read("--jobs 0 " + Quoted(photo)).exitCode, 2);
    EXPECT_EQ(Read("--format xml " + Quoted(photo)).exitCode, 2);
    EXPECT_EQ(Read("--format csv --json " + Quoted(photo)).exitCode, 2);
    EXPECT_EQ(Read("--keep-names " + Quoted(photo)).exitCode, 2);  // names of an archive copy
    EXPECT_EQ(Read(Quoted(dir() / "no photographs here")).exitCode, 1);
    fs::create_directories(dir() / "empty");
    EXPECT_EQ(Read(Quoted(dir() / "empty")).exitCode, 1);

    const ToolRun run = Read(Quoted(photo));
    EXPECT_EQ(run.exitCode, 0);  // read, although no code was found
    EXPECT_NE(run.out.find("flat.bmp"), std::string::npos);
    EXPECT_NE(run.out.find("no region"), std::string::npos);
}

TEST_F(CliRead, SynthThatSucceedsEndsWithZero) {
    const fs::path prefixes = dir() / "prefixes.txt";
    std::ofstream(prefixes) << "ABCU\n";
    EXPECT_EQ(Run("synth --seed 1 --count 1 --out " + Quoted(dir() / "synth") + " --prefixes " +
                  Quoted(prefixes))
                  .exitCode,
              0);
    EXPECT_EQ(Run("synth --seed 1 --count 1 --out " + Quoted(dir() / "synth2") + " --prefixes " +
                  Quoted(dir() / "missing.txt"))
                  .exitCode,
              1);
}

}  // namespace
}  // namespace karvona::cli::testing
