#pragma once
// File housekeeping that never destroys what is already there: copies into the archive and moves
// into the target folder never replace an existing file, and no half-written file ever appears
// under its final name (the content is written under a hidden temporary name in the target
// folder first, then given its name in one step that fails when the name is taken).

#include <filesystem>

namespace karvona::shell {

enum class FileOpStatus {
    kDone,           ///< the file now stands under the new name
    kTargetExists,   ///< the new name was taken; nothing was changed
    kSourceMissing,  ///< the source file could not be opened
    kFailed,         ///< anything else (missing folder, full disk, no permission, ...)
};

/// The errno of this thread's last copy that gave kFailed (ENOSPC for a full disk, ...); 0 when
/// the last copy did not fail that way.
int LastCopyError();

/// Copies `from` to `to`; fails with kTargetExists when `to` exists. `from` is left alone.
FileOpStatus CopyNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

/// Copies `from` to `to`, or, when that name is taken, to the first free name with a counter
/// before the extension ("a.jpg", then "a_2.jpg", "a_3.jpg", ...; a name without an extension
/// gets the counter at its end). `to` is set to the name written. Never replaces a file; gives
/// kTargetExists only when no free name was found among kFreeNameTries.
FileOpStatus CopyToFreeName(const std::filesystem::path& from, std::filesystem::path& to);
inline constexpr int kFreeNameTries = 10000;

/// The name `to` with counter n before its extension (n >= 2), as CopyToFreeName makes it.
std::filesystem::path NumberedName(const std::filesystem::path& to, int n);

/// Moves `from` to `to` without ever replacing `to`. Across file systems the file is copied
/// (never replacing) and the source removed only once the copy stands complete.
FileOpStatus MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

/// Deletes one file (never a folder). Returns whether it was deleted.
bool DeleteFile(const std::filesystem::path& path);

/// Creates a folder and any missing folder above it (the root folder stands for a drive, which
/// always exists); an existing folder is no error. Returns whether the folder exists after.
bool CreateFolder(const std::filesystem::path& folder);

}  // namespace karvona::shell
