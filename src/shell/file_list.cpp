#include "shell/file_list.hpp"

#include <utility>

#include "shell/file_ops.hpp"

namespace karvona::shell {

void FileList::Append(std::string name, std::filesystem::path path) {
    rows_.push_back(FileRow{std::move(name), std::move(path), false});
}

void FileList::AddFile(const std::filesystem::path& path) {
    Append(path.filename().string(), path);
}

int FileList::AddFolder(const std::filesystem::path& folder, NameFilter filter) {
    return ScanFolder(folder, rows_, filter);
}

void FileList::SetTicked(std::size_t row, bool ticked) {
    if (row < rows_.size()) {
        rows_[row].ticked = ticked;
    }
}

int FileList::MoveTicked(const std::filesystem::path& targetFolder, bool removeAfterMove,
                         std::vector<std::filesystem::path>* notMoved) {
    int moved = 0;
    std::vector<FileRow> kept;
    kept.reserve(rows_.size());
    for (FileRow& row : rows_) {
        if (row.ticked) {
            // The name is only ever the last component, so a move cannot leave the folder.
            const std::filesystem::path name = std::filesystem::path(row.name).filename();
            const std::filesystem::path newPath = targetFolder / name;
            if (!name.empty() && MoveNoReplace(row.path, newPath) == FileOpStatus::kDone) {
                ++moved;
                if (removeAfterMove) {
                    continue;
                }
                row.path = newPath;
            } else if (notMoved != nullptr) {
                notMoved->push_back(row.path);
            }
        }
        kept.push_back(std::move(row));
    }
    rows_ = std::move(kept);
    return moved;
}

bool FileList::DeleteRow(std::size_t row, bool deleteTheFile) {
    if (row >= rows_.size()) {
        return false;
    }
    const bool deleted = deleteTheFile && DeleteFile(rows_[row].path);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    return deleted;
}

}  // namespace karvona::shell
