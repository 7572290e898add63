// libFuzzer target: any bytes as an owner-prefix list. Every entry is a piece of at most nine
// characters without its line feed or a zero byte, every entry is found again, and the pieces
// together are the file's text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classifier/owner_prefix_list.hpp"
#include "fuzz_file.hpp"

using karvona::classifier::COwnerPrefixList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = karvona::fuzz::ScratchFile("txt");
    if (!karvona::fuzz::WriteWhole(path, data, size))
        return 0;
    COwnerPrefixList list;
    if (!list.LoadPrefixFile(path))
        std::abort();
    std::size_t characters = 0;
    for (const std::string& entry : list.prefixes()) {
        if (entry.size() > COwnerPrefixList::kPieceLength ||
            entry.find('\n') != std::string::npos || entry.find('\0') != std::string::npos ||
            !list.Contains(entry))
            std::abort();
        characters += entry.size();
    }
    // Each entry stands for at least one byte of the file, and never more entries than bytes.
    if (list.prefixes().size() > size || characters > size)
        std::abort();
    if (size > 0 && list.prefixes().empty())
        std::abort();
    return 0;
}
