// `karvona read --strict` is the single pass as the program always read: its readings of the
// committed photographs are those stored in tests/golden/strict-readings.csv, made before the
// reading plan existed (the command is in the file's head).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_run.hpp"

namespace karvona::cli::testing {
namespace {

const fs::path kSource = KARVONA_SOURCE_DIR;

// A CSV line split at its commas (the fields compared here hold none).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

using StrictReadings = ToolTest;

TEST_F(StrictReadings, CommittedPhotographsReadAsTheyAlwaysDid) {
    std::vector<std::string> expected;
    for (const std::string& line : Lines(ReadText(kSource / "tests/golden/strict-readings.csv"))) {
        if (!line.empty() && line[0] != '#' && line.rfind("file,", 0) != 0)
            expected.push_back(line);
    }
    ASSERT_GE(expected.size(), 80u);

    const ToolRun run =
        Run("read --strict --format csv --data " + Quoted(kSource / "data") + " " +
            Quoted(kSource / "tests/samples/synthetic") + " " + Quoted(kSource / "samples"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "row,file,code,complete,layout,layoutText,reader,ms,status,reason,outcome");
    std::vector<std::string> got;
    const std::string prefix = kSource.string() + "/";
    for (size_t i = 1; i < lines.size(); ++i) {
        // row,file,code,complete,layout,layoutText,reader,ms,status,reason,outcome
        const std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 11u) << lines[i];
        std::string file = f[1];
        if (file.rfind(prefix, 0) == 0)
            file = file.substr(prefix.size());
        got.push_back(file + "," + f[2] + "," + f[3] + "," + f[4] + "," + f[6] + "," + f[8] + "," +
                      f[10]);
    }
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace karvona::cli::testing
