#pragma once
// Gathering photographs from a folder tree: BMP and JPEG files, found by their extension.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace karvona::shell {

/// One row of the file list: the file's name with its extension, and its full path.
struct FileRow {
    std::string name;
    std::filesystem::path path;
    bool ticked = false;
};

/// The text after the last "." of a file name; a "." in the first position does not count, and a
/// name without such a "." has no extension (empty result).
std::string_view ExtensionOf(std::string_view fileName);

/// Whether a file with this name is taken as a photograph by the window's folder scan: extension
/// "jpg" or "bmp" in any case (so "x.JPG" is taken, "x.jpeg" and ".jpg" are not).
bool IsPhotographName(std::string_view fileName);

/// Whether the command-line tool's folder scan takes a file of this name: every format the
/// loader reads, extension "jpg", "jpeg", "png" or "bmp" in any case.
bool IsAnyPhotographName(std::string_view fileName);

/// Which file names a folder scan takes.
using NameFilter = bool (*)(std::string_view fileName);

/// The order in which a folder's entries are met: names compared without regard to the case of
/// letters (as upper case, so "_" comes after the letters); names equal that way keep a fixed
/// order by their bytes. Returns whether `a` comes before `b`.
bool NameOrderLess(std::string_view a, std::string_view b);

/// Scans `folder` and all its subfolders and appends a row for every photograph (every regular
/// file whose name `filter` takes) to `rows`, in
/// name order, each subfolder's rows at the place where its name comes among its parent's
/// entries. Returns the number of rows appended. Unreadable folders add nothing; a folder met
/// again through a symbolic link is not scanned twice, so link loops end. Only regular files
/// (followed through links) are taken. Paths are made absolute. The process's current folder is
/// never changed.
int ScanFolder(const std::filesystem::path& folder, std::vector<FileRow>& rows,
               NameFilter filter = IsPhotographName);

}  // namespace karvona::shell
