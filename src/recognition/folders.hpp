#pragma once
// The fixed folders of the operator's work ("c:\recognized", "c:\characters",
// "c:\unrecognized") live under one root folder: $KARVONA_ROOT when it is set, else ~/karvona.
// This is the only place that knows how those folders are named.

#include <filesystem>

namespace karvona::recognition {

/// The root folder that stands for the drive the fixed folders live on.
std::filesystem::path RootFolder();

/// The result archive with its outcome folders.
std::filesystem::path RecognizedFolder();
/// The character samples, one folder per class.
std::filesystem::path CharactersFolder();
/// The default folder that ticked photographs are moved to.
std::filesystem::path UnrecognizedFolder();

}  // namespace karvona::recognition
