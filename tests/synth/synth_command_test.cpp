#include "cli/synth_command.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

int RunCli(std::vector<std::string> args) {
    CLI::App app{"karvona"};
    karvona::cli::AddSynthCommand(app);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code();
    }
    return 0;
}

}  // namespace

TEST(SynthCommand, WritesFolderAndRejectsBadOptions) {
    const fs::path dir = fs::temp_directory_path() / "karvona_synth_cli";
    fs::remove_all(dir);
    const fs::path prefixes = fs::temp_directory_path() / "karvona_synth_cli_prefixes.txt";
    std::ofstream(prefixes) << "MSCU\nTGHU\n";

    EXPECT_EQ(RunCli({"synth", "--seed", "3", "--count", "1", "--out", dir.string(), "--layouts",
                      "5", "--size", "640x480", "--prefixes", prefixes.string()}),
              0);
    std::ifstream labels(dir / "labels.csv");
    std::string header, row;
    std::getline(labels, header);
    std::getline(labels, row);
    EXPECT_EQ(header, "file,code,layout");
    EXPECT_EQ(row.substr(row.size() - 2), ",5");

    EXPECT_NE(RunCli({"synth", "--seed", "3", "--count", "1", "--out", dir.string(), "--layouts",
                      "9", "--prefixes", prefixes.string()}),
              0);
    EXPECT_NE(RunCli({"synth", "--seed", "3", "--count", "1", "--out", dir.string(), "--size",
                      "320x200", "--prefixes", prefixes.string()}),
              0);
    EXPECT_NE(RunCli({"synth", "--seed", "3", "--count", "-2", "--out", dir.string(), "--prefixes",
                      prefixes.string()}),
              0);
    EXPECT_NE(RunCli({"synth", "--seed", "3", "--count", "1", "--out", dir.string(), "--prefixes",
                      (dir / "missing.txt").string()}),
              0);
    fs::remove_all(dir);
    fs::remove(prefixes);
}
