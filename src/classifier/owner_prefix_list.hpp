#pragma once
// COwnerPrefixList: the owner prefixes (owner code and category letter) that count as real, one
// entry per line of a plain text file, kept in file order.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace karvona::classifier {

class COwnerPrefixList {
public:
    /// Longest piece of a line that becomes one entry: a line is read in pieces of at most this
    /// many characters (its line feed included), so a line of up to 8 characters and its line
    /// feed are one entry and a longer line gives one entry per piece.
    static constexpr std::size_t kPieceLength = 9;

    /// Appends the file's lines as entries; false when the file cannot be opened (the list is
    /// left as it was). A carriage return and line feed end a line together; the terminator is
    /// not part of the entry, an empty line gives an empty entry, and a last line without a
    /// terminator keeps all its characters. Every line is kept, however many there are.
    bool LoadPrefixFile(const std::string& path);

    /// Whether an entry equals text exactly (case-sensitive, whole entry).
    bool Contains(std::string_view text) const;

    int prefixCount() const { return static_cast<int>(prefixes_.size()); }
    /// The entries in file order.
    const std::vector<std::string>& prefixes() const { return prefixes_; }

private:
    std::vector<std::string> prefixes_;
    std::unordered_set<std::string> lookup_;
};

}  // namespace karvona::classifier
