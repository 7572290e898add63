#pragma once
// The operator's file list without its window: rows of (name, path, tick) in the order they were
// added, with the housekeeping commands that work on them.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/folder_scan.hpp"

namespace karvona::shell {

class FileList {
public:
    /// Appends one row at the end.
    void Append(std::string name, std::filesystem::path path);
    /// Appends one chosen file, named after the last component of its path.
    void AddFile(const std::filesystem::path& path);
    /// Scans a folder tree (see ScanFolder) and appends its photographs; returns how many.
    int AddFolder(const std::filesystem::path& folder, NameFilter filter = IsPhotographName);
    void Clear() { rows_.clear(); }

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const FileRow& operator[](std::size_t row) const { return rows_[row]; }
    const std::vector<FileRow>& rows() const { return rows_; }
    void SetTicked(std::size_t row, bool ticked);

    /// Moves every ticked file into `targetFolder` under its own name, never replacing a file
    /// there. A moved row shows its new path, or is removed from the list when
    /// `removeAfterMove` is set; a row whose file could not be moved keeps its old path and stays.
    /// Rows stay ticked. Returns the number of files moved; the paths of the files that could
    /// not be moved are appended to `notMoved` when it is given.
    int MoveTicked(const std::filesystem::path& targetFolder, bool removeAfterMove,
                   std::vector<std::filesystem::path>* notMoved = nullptr);

    /// Removes a row after the operator answered the question of DeleteQuestion(); the file is
    /// deleted only when `deleteTheFile` (the answer was OK). The row goes whatever the answer.
    /// Returns whether the file was deleted.
    bool DeleteRow(std::size_t row, bool deleteTheFile);

private:
    std::vector<FileRow> rows_;
};

}  // namespace karvona::shell
