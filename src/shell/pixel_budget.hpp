#pragma once
// A budget of decoded pixels shared by the workers of a run: a photograph is decoded only when
// its declared pixels fit beside those of the photographs being read, so that many workers on
// huge photographs cannot exhaust memory. A photograph larger than the whole budget waits until
// it is alone.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>

namespace karvona::shell {

class PixelBudget {
public:
    explicit PixelBudget(std::int64_t pixels) : limit_(pixels) {}

    /// Holds pixels of the budget from its making to its end.
    class Hold {
    public:
        Hold(PixelBudget& budget, std::int64_t pixels);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        PixelBudget& budget_;
        std::int64_t pixels_;
    };

    std::int64_t inUse() const;

private:
    std::int64_t limit_;
    std::int64_t used_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
};

/// The pixels a photograph file declares in its header (read from its first mebibyte); 0 when
/// it declares none there (not a photograph, or nothing to decode).
std::int64_t DeclaredPixels(const std::filesystem::path& path);

}  // namespace karvona::shell
