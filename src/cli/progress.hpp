#pragma once
// A one-line progress bar on stderr for a batch run: photographs done out of the total, the
// rate, and the time left. It draws only when stderr is a terminal, so logs and pipes stay clean.

#include <chrono>
#include <streambuf>
#include <string>

namespace karvona::cli {

/// The bar's text for `done` of `total` photographs after `seconds`, at most `width` columns.
std::string ProgressLine(int done, int total, double seconds, int width);

class ProgressBar {
public:
    /// total: the photographs the run will read. The bar is drawn only when `enabled`.
    ProgressBar(int total, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// Redraws after a photograph is done (at most ten times a second, and always at the end).
    void Update(int done);
    /// The same when the total is known only now.
    void Update(int done, int total);
    /// Ends the bar's line; nothing is drawn after.
    void Finish();
    /// Erases the bar so that another line can be written; the next Update draws it again.
    void Clear();

    /// Whether stderr is a terminal.
    static bool StderrIsTerminal();

private:
    void Draw();
    int total_;
    bool enabled_;
    bool shown_ = false;
    int done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

/// An output buffer that takes the progress bar away before anything is written through it, so
/// that messages on stderr stand on lines of their own; the next Update draws the bar again.
class BarClearingBuffer : public std::streambuf {
public:
    BarClearingBuffer(std::streambuf* target, ProgressBar& bar) : target_(target), bar_(bar) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    std::streambuf* target_;
    ProgressBar& bar_;
};

}  // namespace karvona::cli
