#include "shell/pixel_budget.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "recognition/recognizer.hpp"

namespace karvona::shell {

PixelBudget::Hold::Hold(PixelBudget& budget, std::int64_t pixels)
    : budget_(budget), pixels_(std::max<std::int64_t>(pixels, 0)) {
    std::unique_lock<std::mutex> lock(budget_.mutex_);
    budget_.freed_.wait(
        lock, [&] { return budget_.used_ == 0 || budget_.used_ + pixels_ <= budget_.limit_; });
    budget_.used_ += pixels_;
}

PixelBudget::Hold::~Hold() {
    {
        std::lock_guard<std::mutex> lock(budget_.mutex_);
        budget_.used_ -= pixels_;
    }
    budget_.freed_.notify_all();
}

std::int64_t PixelBudget::inUse() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return used_;
}

std::int64_t DeclaredPixels(const std::filesystem::path& path) {
    // Non-blocking, and regular files only: a named pipe under a photograph's name is no wait.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat info;
    std::vector<unsigned char> head;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        head.resize(1 << 20);
        const ssize_t got = pread(fd, head.data(), head.size(), 0);
        head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    close(fd);
    recognition::DeclaredSize declared;
    if (!recognition::ReadDeclaredSize(head.data(), head.size(), declared))
        return 0;
    return std::min(declared.width * declared.height, recognition::kMaxPixels);
}

}  // namespace karvona::shell
