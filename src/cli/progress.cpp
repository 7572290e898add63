#include "cli/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace karvona::cli {
namespace {

int TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

std::string Duration(double seconds) {
    const long long total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

std::string ProgressLine(int done, int total, double seconds, int width) {
    char counts[64];
    std::snprintf(counts, sizeof counts, "%*d/%d", static_cast<int>(std::to_string(total).size()),
                  done, total);
    std::string tail;
    const double rate = seconds > 0 ? done / seconds : 0.0;
    char figures[96];
    if (done > 0 && rate > 0) {
        std::snprintf(figures, sizeof figures, " %3d%% %.1f/s %s left",
                      total > 0 ? 100 * done / total : 100, rate,
                      Duration((total - done) / rate).c_str());
    } else {
        std::snprintf(figures, sizeof figures, " %3d%%", total > 0 ? 100 * done / total : 100);
    }
    tail = figures;

    const int barWidth = width - static_cast<int>(std::string(counts).size() + tail.size()) - 4;
    std::string line = counts;
    if (barWidth >= 10) {
        const int filled = total > 0
                               ? static_cast<int>(static_cast<long long>(barWidth) * done / total)
                               : barWidth;
        std::string bar(static_cast<size_t>(barWidth), ' ');
        std::fill(bar.begin(), bar.begin() + filled, '=');
        if (filled < barWidth) {
            bar[static_cast<size_t>(filled)] = '>';
        }
        line += " [" + bar + "]";
    }
    line += tail;
    if (static_cast<int>(line.size()) >= width) {
        line.resize(static_cast<size_t>(std::max(width - 1, 0)));
    }
    return line;
}

ProgressBar::ProgressBar(int total, bool enabled)
    : total_(total), enabled_(enabled), start_(std::chrono::steady_clock::now()) {
    lastDraw_ = start_;
    if (enabled_ && total_ > 0) {
        Draw();
    }
}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Finish() {
    if (enabled_ && shown_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    enabled_ = false;
}

bool ProgressBar::StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void ProgressBar::Update(int done) {
    done_ = done;
    if (!enabled_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || done >= total_ || now - lastDraw_ >= std::chrono::milliseconds(100)) {
        Draw();
    }
}

void ProgressBar::Update(int done, int total) {
    total_ = total;
    Update(done);
}

void ProgressBar::Clear() {
    if (enabled_ && shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }
}

void ProgressBar::Draw() {
    const auto now = std::chrono::steady_clock::now();
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::string line = ProgressLine(done_, total_, seconds, TerminalWidth());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

BarClearingBuffer::int_type BarClearingBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    bar_.Clear();
    return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize BarClearingBuffer::xsputn(const char* text, std::streamsize count) {
    bar_.Clear();
    return target_->sputn(text, count);
}

int BarClearingBuffer::sync() {
    return target_->pubsync();
}

}  // namespace karvona::cli
