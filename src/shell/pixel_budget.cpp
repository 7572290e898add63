#include "shell/pixel_budget.hpp"

#include <algorithm>
#include <fstream>
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
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> head(1 << 20);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    recognition::DeclaredSize declared;
    if (!recognition::ReadDeclaredSize(head.data(), static_cast<std::size_t>(file.gcount()),
                                       declared))
        return 0;
    return std::min(declared.width * declared.height, recognition::kMaxPixels);
}

}  // namespace karvona::shell
