// The command-line tool as an operator runs it: output lines, JSON keys and exit codes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>

#include "drawn_photos.hpp"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    std::string out;
    int exitCode = -1;
};

ToolRun RunTool(const std::string& arguments) {
    ToolRun run;
    const std::string command = std::string(KARVONA_BIN) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        run.out += buffer.data();
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

fs::path Folder() {
    const fs::path folder = fs::temp_directory_path() / "karvona-cli-test";
    fs::create_directories(folder);
    return folder;
}

}  // namespace

TEST(CliRead, JsonLinesHoldExactlyTheDocumentedKeys) {
    const fs::path photo = Folder() / "drawn photo.jpg";
    karvona::testing::CodeDrawing d;
    cv::imwrite(photo.string(), karvona::testing::DrawCodePhoto(d).image);
    const fs::path missing = Folder() / "missing.jpg";

    const ToolRun run = RunTool("read --data " + Folder().string() + " --json '" + photo.string() +
                                "' '" + missing.string() + "'");
    EXPECT_EQ(run.exitCode, 1);  // one photograph could not be read
    std::istringstream lines(run.out);
    std::string line;
    std::vector<nlohmann::json> objects;
    while (std::getline(lines, line))
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& o : objects) {
        std::vector<std::string> keys;
        for (const auto& item : o.items())
            keys.push_back(item.key());
        EXPECT_EQ(keys, (std::vector<std::string>{"code", "complete", "file", "layout",
                                                  "layoutText", "ms", "reader", "status"}));
    }
    EXPECT_EQ(objects[0]["status"], "ok");
    EXPECT_EQ(objects[0]["layout"], 0);
    EXPECT_EQ(objects[0]["layoutText"], "HORIZONTAL 1 LINE");
    EXPECT_EQ(objects[1]["status"], "unreadable");
    EXPECT_EQ(objects[1]["layout"], -1);
    EXPECT_EQ(objects[1]["reader"], "none");
}

TEST(CliRead, ExitCodes) {
    EXPECT_EQ(RunTool("read").exitCode, 2);
    EXPECT_EQ(RunTool("read --no-such-option x.jpg").exitCode, 2);
    EXPECT_EQ(RunTool("").exitCode, 2);
    const fs::path photo = Folder() / "flat.bmp";
    cv::imwrite(photo.string(), cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)));
    const ToolRun run = RunTool("read " + photo.string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("flat.bmp"), std::string::npos);
    EXPECT_NE(run.out.find("no region"), std::string::npos);
}
