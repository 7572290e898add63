// No photograph is ever lost and no half-written file ever stands under an archive name: copies
// that fail on a full disk or on a write limit, and a batch run killed in the middle of a copy.
// Folder scans that meet very many files or loops still end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "bad_files.hpp"
#include "shell/batch.hpp"
#include "shell/file_ops.hpp"
#include "shell/folder_scan.hpp"

namespace karvona::hardening {
namespace {

using shell::FileOpStatus;

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

// Names in a folder, hidden temporaries included.
std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A small file system of its own, for a full disk; only the superuser may make one, and some
// machines refuse it even then.
class SmallFileSystem {
public:
    SmallFileSystem(const fs::path& folder, const char* size) : folder_(folder) {
        fs::create_directories(folder);
        const std::string options = std::string("size=") + size;
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    fs::path folder_;
    bool mounted_ = false;
};

TEST(FilesKept, FullDiskLeavesNoArchiveFileAndTheSourceInPlace) {
    Scratch dir;
    SmallFileSystem small(dir / "small", "256k");
    if (!small.mounted())
        GTEST_SKIP() << "no small file system can be mounted here";
    const Bytes photo = RandomBytes(1 << 20, 1);
    WriteBytes(dir / "photo.jpg", photo);

    EXPECT_EQ(shell::CopyNoReplace(dir / "photo.jpg", dir / "small/copy.jpg"),
              FileOpStatus::kFailed);
    // A move to another file system copies first; the full disk stops it, so the source stays.
    EXPECT_EQ(shell::MoveNoReplace(dir / "photo.jpg", dir / "small/moved.jpg"),
              FileOpStatus::kFailed);
    EXPECT_TRUE(Entries(dir / "small").empty());  // no copy, no temporary
    EXPECT_EQ(ReadBytes(dir / "photo.jpg"), photo);
}

TEST(FilesKept, WriteLimitLeavesNoArchiveFile) {
    Scratch dir;
    const Bytes photo = RandomBytes(1 << 20, 2);
    WriteBytes(dir / "photo.jpg", photo);
    fs::create_directories(dir / "archive");

    // The copy runs in a child process whose files may not grow past 64 kB; a write beyond
    // fails instead of raising the signal.
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 << 10, 64 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        const FileOpStatus copied = shell::CopyNoReplace(dir / "photo.jpg", dir / "archive/a.jpg");
        _exit(static_cast<int>(copied));
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(FileOpStatus::kFailed));
    EXPECT_TRUE(Entries(dir / "archive").empty());
    EXPECT_EQ(ReadBytes(dir / "photo.jpg"), photo);
}

TEST(FilesKept, BatchRunKilledInTheMiddleOfACopy) {
    Scratch dir;
    constexpr int kPhotos = 6;
    std::vector<shell::FileRow> rows;
    std::vector<Bytes> photos;
    for (int i = 0; i < kPhotos; ++i) {
        photos.push_back(RandomBytes(16 << 20, 10 + i));
        const std::string name = "photo" + std::to_string(i) + ".jpg";
        WriteBytes(dir / name, photos.back());
        rows.push_back({name, dir / name});
    }
    const fs::path archive = dir / "archive";
    ASSERT_TRUE(shell::CreateArchiveFolders(archive));
    const fs::path perfect = archive / "perpect";

    const pid_t child = fork();
    if (child == 0) {
        shell::BatchOptions options;
        options.backupOn = true;
        options.recognizedFolder = archive;
        const std::atomic<bool> stop{false};
        shell::RunBatch(
            rows, options,
            [](int) {
                return [](const fs::path&, int) {
                    return shell::RecognitionResult{true, "CSQU3054383"};
                };
            },
            stop);
        _exit(0);
    }
    // Kill the run while a temporary file stands in the archive, that is during a copy, and
    // never before the first copy has been renamed.
    bool midCopy = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!midCopy && std::chrono::steady_clock::now() < deadline) {
        const auto names = Entries(perfect);
        const bool temporary = std::any_of(names.begin(), names.end(),
                                           [](const std::string& n) { return n[0] == '.'; });
        midCopy = temporary && names.size() >= 2;
        if (waitpid(child, nullptr, WNOHANG) == child)
            break;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(midCopy) << "the run ended before a copy could be interrupted";

    for (int i = 0; i < kPhotos; ++i)
        EXPECT_EQ(ReadBytes(rows[i].path), photos[i]) << rows[i].name;
    int archived = 0;
    for (const std::string& name : Entries(perfect)) {
        if (name[0] == '.')
            continue;  // the interrupted copy, under its hidden temporary name
        const int row = std::stoi(name.substr(0, 6)) - 1;
        ASSERT_GE(row, 0);
        ASSERT_LT(row, kPhotos);
        EXPECT_EQ(name, shell::ArchiveFileName(shell::Outcome::kPerfect, false, row, "CSQU3054383",
                                               rows[row]));
        EXPECT_EQ(ReadBytes(perfect / name), photos[row]) << name << " is not a whole copy";
        ++archived;
    }
    EXPECT_GE(archived, 1);
    EXPECT_LT(archived, kPhotos);
    // A scan of the archive never takes the left-over temporary for a photograph.
    std::vector<shell::FileRow> scanned;
    EXPECT_EQ(shell::ScanFolder(perfect, scanned), archived);
}

TEST(FolderScans, TenThousandFilesAndALinkLoop) {
    Scratch dir;
    const fs::path top = dir / "photos";
    for (int folder = 0; folder < 10; ++folder) {
        const fs::path sub = top / ("day" + std::to_string(folder));
        fs::create_directories(sub);
        for (int i = 0; i < 1000; ++i)
            std::ofstream(sub / ("IMG_" + std::to_string(10000 + i) + (i % 2 ? ".jpg" : ".BMP")));
        std::ofstream(sub / "notes.txt");
    }
    fs::create_directory_symlink(top, top / "day3" / "back to top");
    fs::create_directory_symlink(dir / "gone", top / "dangling folder");
    std::vector<shell::FileRow> rows;
    EXPECT_EQ(shell::ScanFolder(top, rows), 10000);
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows.front().name, "IMG_10000.BMP");
    EXPECT_EQ(rows.back().path, top / "day9" / "IMG_10999.jpg");
}

}  // namespace
}  // namespace karvona::hardening
