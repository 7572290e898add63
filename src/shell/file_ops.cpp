#include "shell/file_ops.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "shell/folder_scan.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;

// Gives `from` the name `to` in one step, failing with EEXIST when `to` exists. Returns 0 or an
// errno value. File systems without the no-replace rename get a hard link plus unlink, which
// fails on a taken name just the same.
int RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) {
        return error;
    }
    if (link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    unlink(from.c_str());
    return 0;
}

FileOpStatus StatusOf(int error) {
    switch (error) {
        case 0:
            return FileOpStatus::kDone;
        case EEXIST:
            return FileOpStatus::kTargetExists;
        default:
            return FileOpStatus::kFailed;
    }
}

bool Exists(const fs::path& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Opens a new hidden file beside `to` for writing; its name starts with a dot and ends in
// ".tmp", so a folder scan never takes it for a photograph.
int OpenTemporaryBeside(const fs::path& to, fs::path& temporary) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / (".karvona-" + std::to_string(getpid()) + "-" +
                              std::to_string(counter.fetch_add(1)) + ".tmp");
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

thread_local int lastCopyError = 0;

bool CopyContent(int in, int out) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

FileOpStatus CopyNoReplace(const fs::path& from, const fs::path& to) {
    lastCopyError = 0;
    // Non-blocking so that a named pipe under a photograph's name cannot hang the copy.
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        return FileOpStatus::kSourceMissing;
    }
    struct stat info;
    if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(in);
        return FileOpStatus::kSourceMissing;
    }
    if (Exists(to)) {
        close(in);
        return FileOpStatus::kTargetExists;
    }
    fs::path temporary;
    const int out = OpenTemporaryBeside(to, temporary);
    if (out < 0) {
        lastCopyError = errno;
        close(in);
        return FileOpStatus::kFailed;
    }
    const bool copied = CopyContent(in, out);
    lastCopyError = copied ? 0 : errno;
    close(in);
    if (close(out) != 0 && copied)
        lastCopyError = errno;
    if (lastCopyError != 0) {
        unlink(temporary.c_str());
        return FileOpStatus::kFailed;
    }
    const int error = RenameNoReplace(temporary, to);
    if (error != 0) {
        unlink(temporary.c_str());
    }
    const FileOpStatus status = StatusOf(error);
    lastCopyError = status == FileOpStatus::kFailed ? error : 0;
    return status;
}

int LastCopyError() {
    return lastCopyError;
}

fs::path NumberedName(const fs::path& to, int n) {
    const std::string name = to.filename().string();
    const std::string_view extension = ExtensionOf(name);
    const size_t stemLength = extension.empty() ? name.size() : name.size() - extension.size() - 1;
    const std::string numbered =
        name.substr(0, stemLength) + "_" + std::to_string(n) + name.substr(stemLength);
    return to.parent_path() / numbered;
}

FileOpStatus CopyToFreeName(const fs::path& from, fs::path& to) {
    const fs::path wanted = to;
    FileOpStatus status = CopyNoReplace(from, wanted);
    // Each try is a copy that fails on a taken name, so a file that appears meanwhile is never
    // replaced either.
    for (int n = 2; status == FileOpStatus::kTargetExists && n <= kFreeNameTries; ++n) {
        to = NumberedName(wanted, n);
        status = CopyNoReplace(from, to);
    }
    if (status != FileOpStatus::kDone) {
        to = wanted;
    }
    return status;
}

FileOpStatus MoveNoReplace(const fs::path& from, const fs::path& to) {
    struct stat info;
    if (lstat(from.c_str(), &info) != 0) {
        return FileOpStatus::kSourceMissing;
    }
    if (S_ISDIR(info.st_mode)) {
        return FileOpStatus::kFailed;
    }
    const int error = RenameNoReplace(from, to);
    if (error != EXDEV) {
        return StatusOf(error);
    }
    // Another file system: copy, then remove the source only once the copy stands complete.
    const FileOpStatus copied = CopyNoReplace(from, to);
    if (copied != FileOpStatus::kDone) {
        return copied;
    }
    if (unlink(from.c_str()) != 0) {
        // The source stays, so the move did not happen: take the copy back.
        unlink(to.c_str());
        return FileOpStatus::kFailed;
    }
    return FileOpStatus::kDone;
}

bool DeleteFile(const fs::path& path) {
    return unlink(path.c_str()) == 0;
}

bool CreateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

}  // namespace karvona::shell
