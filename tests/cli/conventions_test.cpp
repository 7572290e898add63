// The command-line tool's conventions: why a photograph was not read, --version, --jobs limits,
// exit code 2 for bad usage in every subcommand, standard input, the folder scan's formats, file
// names that are not UTF-8, the language of the statistics, the help's outcomes and the progress
// bar of synth and harvest on a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/reading_output.hpp"
#include "tool_run.hpp"

namespace karvona::cli::testing {
namespace {

const std::string kAbcu = "ABCU1234560";
const std::string kVersion = std::string("karvona ") + KARVONA_VERSION;

using CliConventions = ToolTest;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The byte string a JSON file name stands for: "\\" is a backslash, "\xNN" the byte NN.
std::string Recovered(const std::string& name) {
    std::string bytes;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bytes += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += name[i];
        }
    }
    return bytes;
}

// Every unreadable photograph used to say only "unreadable".
TEST_F(CliConventions, EveryFormatSaysWhyAPhotographWasNotRead) {
    fs::create_directories(dir() / "folder.jpg");
    std::ofstream(dir() / "text.jpg") << "not a photograph";
    const std::string paths = Quoted(dir() / "missing.jpg") + " " + Quoted(dir() / "text.jpg");

    const ToolRun text = Read("--lang ko " + paths);
    EXPECT_EQ(text.exitCode, 1);
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(EndsWith(lines[0], "\tun\tconfidence 0.00\tpass none\tunreadable (missing)"))
        << lines[0];
    EXPECT_TRUE(
        EndsWith(lines[1], "\tun\tconfidence 0.00\tpass none\tunreadable (unsupported-format)"))
        << lines[1];
    EXPECT_NE(text.out.find("읽지 못한 파일 2장: 파일 없음 1, JPEG, PNG, BMP 영상이 아님 1"),
              std::string::npos)
        << text.out;

    const ToolRun csv = Read("--format csv " + paths);
    EXPECT_TRUE(EndsWith(Lines(csv.out).at(1), ",0,unreadable,missing,un,0.00,none")) << csv.out;

    ASSERT_EQ(mkfifo((dir() / "pipe.jpg").c_str(), 0600), 0);
    const ToolRun json = Read("--json --lang en " + Quoted(dir() / "pipe.jpg") + " " + paths);
    const std::vector<std::string> objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 3u);
    const nlohmann::json pipe = nlohmann::json::parse(objects[0]);
    EXPECT_EQ(pipe["status"], "unreadable");
    EXPECT_EQ(pipe["reason"], "not-a-file");
    EXPECT_EQ(nlohmann::json::parse(objects[1])["reason"], "missing");
    EXPECT_NE(json.err.find("Not read: 3 files: missing 1, not a file 1, not a JPEG, PNG or BMP "
                            "image 1"),
              std::string::npos)
        << json.err;
}

TEST_F(CliConventions, VersionOnTheToolAndInEverySubcommandsHelp) {
    const ToolRun version = Run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, kVersion + "\n");
    EXPECT_EQ(Run("read --version").out, kVersion + "\n");
    for (const char* command : {"read", "synth", "harvest", "train"}) {
        const ToolRun help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << command;
    }
}

// Bad usage ended some subcommands with 1, and --jobs 0 printed a 20-digit number.
TEST_F(CliConventions, BadUsageEndsWithTwoInEverySubcommand) {
    const fs::path photo = Photo(dir() / "flat.jpg", "");
    for (const char* jobs : {"0", "65", "-1"}) {
        const ToolRun run = Read(std::string("--jobs ") + jobs + " " + Quoted(photo));
        EXPECT_EQ(run.exitCode, 2) << jobs;
        EXPECT_EQ(run.err.find("18446744073709551615"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Read("--jobs 64 " + Quoted(photo)).exitCode, 0);
    EXPECT_EQ(Read("--lang fr " + Quoted(photo)).exitCode, 2);
    EXPECT_EQ(Read("- -").exitCode, 2);
    const ToolRun misspelt = Run("raed " + Quoted(photo));
    EXPECT_EQ(misspelt.exitCode, 2);
    EXPECT_NE(misspelt.err.find("unknown command \"raed\"; did you mean \"read\"?"),
              std::string::npos)
        << misspelt.err;

    const std::string out = " --out " + Quoted(dir() / "synth");
    EXPECT_EQ(Run("synth --seed 1 --count 1 --layouts 9" + out).exitCode, 2);
    EXPECT_EQ(Run("synth --seed 1 --count 1 --size 10x10" + out).exitCode, 2);
    EXPECT_EQ(Run("synth --seed 1 --count -3" + out).exitCode, 2);
    EXPECT_EQ(Run("synth --count 1" + out).exitCode, 2);
    EXPECT_EQ(Run("harvest --photos " + Quoted(dir())).exitCode, 2);
    EXPECT_EQ(Run("harvest --photos x --out y --agree 11").exitCode, 2);
    const std::string train = "train --samples " + Quoted(dir()) + " --letters " +
                              Quoted(dir() / "l.trn") + " --digits " + Quoted(dir() / "d.trn");
    EXPECT_EQ(Run(train + " --norm 1x40").exitCode, 2);
    EXPECT_EQ(Run(train + " --grid 10").exitCode, 2);
    EXPECT_EQ(Run(train + " --protos 0").exitCode, 2);
    EXPECT_EQ(Run(train + " --epochs 0").exitCode, 2);
    EXPECT_EQ(Run("train --samples x --letters " + Quoted(dir() / "same.trn") + " --digits " +
                  Quoted(dir() / "." / "same.trn"))
                  .exitCode,
              2);
    EXPECT_FALSE(fs::exists(dir() / "l.trn"));
    // An unusable sample folder is no usage error.
    EXPECT_EQ(Run(train).exitCode, 1);
}

TEST_F(CliConventions, DashReadsOnePhotographFromStandardInput) {
    const fs::path photo = Photo(dir() / "a.jpg", kAbcu);
    const ToolRun run = Read("--json --backup - < " + Quoted(photo));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json line = nlohmann::json::parse(Lines(run.out).at(0));
    EXPECT_EQ(line["file"], "-");
    EXPECT_EQ(line["code"], kAbcu);
    EXPECT_EQ(ReadText(Root() / "recognized" / "perpect" / "000001_[ABCU1234560].jpg"),
              ReadText(photo));

    // Between other photographs, and with something that is no photograph.
    const ToolRun mixed = Read(Quoted(photo) + " - " + Quoted(photo) + " < /dev/null");
    EXPECT_EQ(mixed.exitCode, 1);
    const std::vector<std::string> lines = Lines(mixed.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("2\t-\t-\tincomplete\tno region", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("unreadable (unsupported-format)"), std::string::npos);
}

// Folder scans skipped .jpeg and .png files that the loader reads.
TEST_F(CliConventions, FolderScanTakesEveryFormatTheLoaderReads) {
    const fs::path in = dir() / "in";
    for (const char* name : {"a.JPEG", "b.png", "c.PnG", "d.jpeg", "e.Bmp", "f.jpg"})
        Photo(in / name, "");
    Photo(in / "g.tif", "");
    std::ofstream(in / ".png") << "hidden, no extension";
    const ToolRun run = Read("--format csv " + Quoted(in));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 7u) << run.out;
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i].find(",ok,ok,un"), std::string::npos) << lines[i];
    EXPECT_EQ(run.out.find("g.tif"), std::string::npos);
}

// JSON replaced bytes that are not UTF-8, so that a script could not find the file.
TEST_F(CliConventions, JsonFileNamesThatAreNotUtf8CanBeRecovered) {
    const fs::path in = dir() / "in";
    const std::string odd = std::string("bad\xff") + "name \\x41 \xed\xa0\x80 사진.jpg";
    Photo(in / odd, kAbcu);
    const ToolRun run = Read("--json " + Quoted(in / odd));
    EXPECT_EQ(run.exitCode, 0);
    const nlohmann::json line = nlohmann::json::parse(Lines(run.out).at(0));
    const std::string name = line["file"];
    EXPECT_EQ(name, (in / "bad\\xffname \\\\x41 \\xed\\xa0\\x80 사진.jpg").string());
    EXPECT_EQ(Recovered(name), (in / odd).string());
    EXPECT_TRUE(fs::exists(Recovered(name)));
    EXPECT_EQ(line["code"], kAbcu);
}

TEST(RecoverableName, EveryByteStringGivesValidJsonThatGivesItBack) {
    const std::vector<std::string> names = {
        "plain.jpg",
        "사진 é.jpg",
        "a\\b",
        std::string("\xff\xfe"),
        std::string("\xc0\xaf"),          // an overlong "/"
        std::string("\xed\xa0\x80"),      // a surrogate
        std::string("\xf4\x90\x80\x80"),  // above U+10FFFF
        std::string("\xf0\x9f\x93\xb7"),  // U+1F4F7, valid
        std::string("cut \xe2\x82"),      // a sequence cut short at the end
        std::string("\x7f\x01\x00z", 4),
        "\\xff",
    };
    for (const std::string& name : names) {
        const std::string recoverable = RecoverableName(name);
        // Strict serialisation throws on anything that is not UTF-8.
        const std::string json = nlohmann::json(recoverable).dump();
        EXPECT_EQ(Recovered(nlohmann::json::parse(json).get<std::string>()), name) << json;
    }
    EXPECT_EQ(RecoverableName("사진 é.jpg"), "사진 é.jpg");
    EXPECT_EQ(RecoverableName("\xf0\x9f\x93\xb7"), "\xf0\x9f\x93\xb7");
    EXPECT_EQ(RecoverableName(std::string("\xc0\xaf")), "\\xc0\\xaf");
    EXPECT_EQ(RecoverableName("a\\b"), "a\\\\b");
}

TEST_F(CliConventions, StatisticsInKoreanOrEnglish) {
    const fs::path photo = Photo(dir() / "a.jpg", kAbcu);
    const std::string korean =
        " [ 모든 파일 인식 결과 ]\n총 파일 수     1장 中     1장(100.0%) 인식\n\n:     "
        "1장(100.0%)을 완벽히 인식하였으며,  \n      0장(0.0%)을 10자 이상 인식하였음.  \n\n"
        "수행시간은 ";
    const std::string english =
        " [ Results of recognizing all files ]\n    1 files in all,     1 (100.0%) recognized\n\n"
        ":     1 (100.0%) recognized perfectly,  \n      0 (0.0%) recognized with 10 or more "
        "characters.  \n\nTime taken: ";
    const std::string en = "LANG=en_US.UTF-8";
    EXPECT_NE(Read("--lang ko " + Quoted(photo)).out.find(korean), std::string::npos);
    EXPECT_NE(Read("--lang ko " + Quoted(photo), {}, en).out.find(korean), std::string::npos);
    EXPECT_NE(Read(Quoted(photo), {}, "LANG=ko_KR.UTF-8").out.find(korean), std::string::npos);
    // Korean only when the locale asks for it: no language, C, POSIX and others are English.
    EXPECT_NE(Read(Quoted(photo)).out.find(english), std::string::npos);
    for (const char* other : {"LANG=fr_FR.UTF-8", "LC_ALL=C.UTF-8 LANG=ko_KR.UTF-8", "LANG=POSIX"})
        EXPECT_NE(Read(Quoted(photo), {}, other).out.find(english), std::string::npos) << other;
    EXPECT_NE(Read("--lang en " + Quoted(photo)).out.find(english), std::string::npos);
    EXPECT_NE(Read(Quoted(photo), {}, en).out.find(english), std::string::npos);
    EXPECT_NE(Read(Quoted(photo), {}, "LC_ALL=ko_KR.UTF-8 " + en).out.find(korean),
              std::string::npos);

    const ToolRun backup = Read("--lang en --backup " + Quoted(photo));
    EXPECT_EQ(Lines(backup.out).at(0),
              "Recognized images are saved in " + (Root() / "recognized").string() + ".  ");
}

TEST_F(CliConventions, ReadHelpExplainsTheOutcomes) {
    const ToolRun help = Run("read --help");
    for (const char* text : {"perpect  the code was read completely", "mistake  11 characters",
                             "trymore  7 to 10 characters", "un       fewer than 7 characters",
                             "\\xNN", "--lang", "--jobs", "1 to 64", "cannot-decode"}) {
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    }
}

// synth showed nothing during long runs; harvest neither. On a terminal both draw a bar now,
// and a pipe stays clean.
TEST_F(CliConventions, SynthAndHarvestDrawAProgressBarOnATerminal) {
    const fs::path prefixes = dir() / "prefixes.txt";
    std::ofstream(prefixes) << "ABCU\n";
    const std::string synth = std::string(KARVONA_BIN) + " synth --seed 2 --count 3 --prefixes " +
                              Quoted(prefixes) + " --out " + Quoted(dir() / "s");
    const std::string harvest = std::string(KARVONA_BIN) + " harvest --photos " +
                                Quoted(dir() / "s") + " --out " + Quoted(dir() / "samples");
    // script(1) runs the command with a terminal on its standard streams.
    const ToolRun synthRun = Shell("script -qec " + Quoted(synth) + " /dev/null");
    EXPECT_EQ(synthRun.exitCode, 0) << synthRun.out;
    EXPECT_NE(synthRun.out.find("3/3 ["), std::string::npos) << synthRun.out;
    EXPECT_NE(synthRun.out.find("\r"), std::string::npos);
    EXPECT_NE(synthRun.out.find("synth: wrote 3 photographs"), std::string::npos);
    const ToolRun harvestRun = Shell("script -qec " + Quoted(harvest) + " /dev/null");
    EXPECT_EQ(harvestRun.exitCode, 0) << harvestRun.out;
    EXPECT_NE(harvestRun.out.find("3/3 ["), std::string::npos) << harvestRun.out;
    EXPECT_NE(harvestRun.out.find("\033[K\r\nphotographs: 3"), std::string::npos) << harvestRun.out;

    const ToolRun piped = Run("synth --seed 2 --count 2 --prefixes " + Quoted(prefixes) +
                              " --out " + Quoted(dir() / "t"));
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "");
}

}  // namespace
}  // namespace karvona::cli::testing
