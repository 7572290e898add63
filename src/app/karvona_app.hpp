#pragma once
// The application object: starts the window system, runs the main dialog modally and ends the
// program with it.

#include <QApplication>
#include <QString>
#include <string>
#include <vector>

namespace karvona::app {

struct StartOptions;

/// Start options for producing a picture of the window (not shown to the operator).
struct ScreenshotRequest {
    QString output;       ///< PNG file to write; empty: run normally
    QString photoFolder;  ///< folder added to the list first
    int readRow = 0;      ///< the row recognized before the picture is taken
};

class CKarvonaApp {
public:
    CKarvonaApp(int& argc, char** argv);
    /// Runs the main dialog to its end; returns false, so that the program then ends.
    bool InitInstance();
    /// The data folder, the language, the photographs to list and the picture to take (see
    /// StartOptions).
    void SetStartOptions(const StartOptions& options);
    void SetScreenshot(const ScreenshotRequest& request) { screenshot_ = request; }
    /// Recognition by the single pass alone (no second look, no review).
    void SetStrict(bool strict) { strict_ = strict; }
    int ExitCode() const { return exitCode_; }

private:
    QApplication application_;
    ScreenshotRequest screenshot_;
    QString dataFolder_;
    std::string language_;
    bool strict_ = false;
    std::vector<std::string> paths_;
    int exitCode_ = 0;
};

}  // namespace karvona::app
