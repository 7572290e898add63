// karvona-gui: the desktop program. `--screenshot OUT.png [--photos DIR] [--read ROW]` adds the
// photographs of DIR, reads one row, saves a picture of the window and ends. `--strict` reads
// with the single pass alone.

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/karvona_app.hpp"

int main(int argc, char** argv) {
    karvona::app::ScreenshotRequest request;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) {
            request.output = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--photos") == 0) {
            request.photoFolder = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--read") == 0) {
            request.readRow = std::atoi(argv[++i]);
        }
    }
    // --strict: only the single pass, as the program always read (no second look, no review).
    const bool strict = std::any_of(
        argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "--strict") == 0; });
    karvona::app::CKarvonaApp app(argc, argv);
    app.SetScreenshot(request);
    app.SetStrict(strict);
    app.InitInstance();
    return app.ExitCode();
}
