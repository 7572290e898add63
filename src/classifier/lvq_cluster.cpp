#include "classifier/lvq_cluster.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace karvona::classifier {

namespace {

constexpr int kHeaderWords = 16;
using HeaderWords = std::array<std::int32_t, kHeaderWords>;

// The header words in file order, as pointers into a codebook's fields.
template <class Cluster>
auto HeaderFields(Cluster& c) -> std::array<decltype(&c.featureLength), kHeaderWords> {
    return {&c.featureLength,  &c.normWidth,       &c.normHeight,    &c.gridWidth,
            &c.gridHeight,     &c.useGrid,         &c.useRowInk,     &c.useColumnInk,
            &c.useLeftProfile, &c.useRightProfile, &c.useTopProfile, &c.useBottomProfile,
            &c.useCentreCross, &c.useAspect,       &c.classCount,    &c.prototypesPerClass};
}

HeaderWords HeaderOf(const CLvqCluster& c) {
    HeaderWords words{};
    const auto fields = HeaderFields(c);
    for (int i = 0; i < kHeaderWords; ++i) {
        words[i] = *fields[i];
    }
    return words;
}

std::int32_t DecodeInt32(const unsigned char* p) {
    const std::uint32_t u =
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    std::int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

double DecodeDouble(const unsigned char* p) {
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i) {
        u = (u << 8) | p[i];
    }
    double v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

void EncodeInt32(std::int32_t v, std::vector<unsigned char>& out) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>(u >> (8 * i)));
    }
}

void EncodeDouble(double v, std::vector<unsigned char>& out) {
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<unsigned char>(u >> (8 * i)));
    }
}

// Length of the blocks that a recipe switches on, in 64 bits so that no header can overflow it.
std::int64_t BlocksLength(const HeaderWords& h) {
    const std::int64_t W = h[1], H = h[2], w = h[3], g = h[4];
    const auto on = [&](int i) -> std::int64_t { return h[i] != 0 ? 1 : 0; };
    return w * g * on(5) + H * (on(6) + on(8) + on(9)) + W * (on(7) + on(10) + on(11)) +
           4 * on(12) + on(13);
}

std::int64_t PrototypeCountOf(const HeaderWords& h) {
    return static_cast<std::int64_t>(h[14]) * h[15];
}

std::int64_t RecordBytes(const HeaderWords& h) {
    return 8 * static_cast<std::int64_t>(h[0]) + 4;
}

// Ok when a header can be loaded as it stands; the file's length is checked separately.
TrainingFileStatus CheckHeader(const HeaderWords& h) {
    const std::int64_t count = PrototypeCountOf(h);
    if (count < 1) {
        return TrainingFileStatus::NoPrototypes;
    }
    const std::int32_t featureLength = h[0], normWidth = h[1], normHeight = h[2];
    const bool gridOn = h[5] != 0;
    const bool sane = featureLength >= 1 && featureLength <= CLvqCluster::kMaxFeatureLength &&
                      normWidth >= 2 && normWidth <= CLvqCluster::kMaxNormSize && normHeight >= 2 &&
                      normHeight <= CLvqCluster::kMaxNormSize &&
                      (!gridOn || (h[3] >= 1 && h[3] <= CLvqCluster::kMaxGridSize && h[4] >= 1 &&
                                   h[4] <= CLvqCluster::kMaxGridSize)) &&
                      h[14] >= 1 && h[15] >= 1 && count <= std::numeric_limits<std::int32_t>::max();
    if (!sane || BlocksLength(h) > featureLength) {
        return TrainingFileStatus::Invalid;
    }
    return TrainingFileStatus::Ok;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Opens a regular file for reading. The open does not block, so a named pipe under the file's
// name is refused instead of waited on for ever; a folder is refused too.
std::FILE* OpenRegularFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info;
    std::FILE* file = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        file = fdopen(fd, "rb");
    }
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

}  // namespace

std::int64_t CLvqCluster::EnabledFeatureLength() const {
    return BlocksLength(HeaderOf(*this));
}

TrainingFileStatus CLvqCluster::LoadTrainingFile(const std::string& path) {
    // The buffer must outlive the stream, so it is declared first.
    std::array<char, 4096> buffer;
    std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFile(path));
    if (!file) {
        return TrainingFileStatus::Missing;
    }
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());

    std::array<unsigned char, kHeaderBytes> raw;
    if (std::fread(raw.data(), 1, raw.size(), file.get()) != raw.size()) {
        return TrainingFileStatus::Invalid;
    }
    HeaderWords header;
    for (int i = 0; i < kHeaderWords; ++i) {
        header[i] = DecodeInt32(raw.data() + 4 * i);
    }
    const TrainingFileStatus status = CheckHeader(header);
    if (status != TrainingFileStatus::Ok) {
        return status;
    }

    // The file must hold every declared record before anything is allocated for them.
    const std::int64_t count = PrototypeCountOf(header);
    const std::int64_t recordBytes = RecordBytes(header);
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return TrainingFileStatus::Invalid;
    }
    const long fileBytes = std::ftell(file.get());
    if (fileBytes < 0 ||
        static_cast<std::int64_t>(fileBytes) - static_cast<std::int64_t>(kHeaderBytes) <
            count * recordBytes ||
        std::fseek(file.get(), static_cast<long>(kHeaderBytes), SEEK_SET) != 0) {
        return TrainingFileStatus::Invalid;
    }

    const int featureCount = header[0];
    std::vector<LvqPrototype> table(static_cast<std::size_t>(count));
    std::vector<unsigned char> record(static_cast<std::size_t>(recordBytes));
    for (LvqPrototype& prototype : table) {
        if (std::fread(record.data(), 1, record.size(), file.get()) != record.size()) {
            return TrainingFileStatus::Invalid;  // the file shrank under us
        }
        prototype.vector.resize(static_cast<std::size_t>(featureCount));
        for (int i = 0; i < featureCount; ++i) {
            prototype.vector[i] = DecodeDouble(record.data() + 8 * i);
        }
        prototype.label = DecodeInt32(record.data() + 8 * featureCount);
    }

    const auto fields = HeaderFields(*this);
    for (int i = 0; i < kHeaderWords; ++i) {
        *fields[i] = header[i];
    }
    prototypes = std::move(table);
    return TrainingFileStatus::Ok;
}

bool CLvqCluster::SaveTrainingFile(const std::string& path) const {
    const HeaderWords header = HeaderOf(*this);
    if (CheckHeader(header) != TrainingFileStatus::Ok ||
        static_cast<std::int64_t>(prototypes.size()) != PrototypeCountOf(header)) {
        return false;
    }
    for (const LvqPrototype& prototype : prototypes) {
        if (prototype.vector.size() != static_cast<std::size_t>(featureLength)) {
            return false;
        }
    }

    std::vector<unsigned char> bytes;
    bytes.reserve(kHeaderBytes + prototypes.size() * static_cast<std::size_t>(RecordBytes(header)));
    for (std::int32_t word : header) {
        EncodeInt32(word, bytes);
    }
    for (const LvqPrototype& prototype : prototypes) {
        for (double value : prototype.vector) {
            EncodeDouble(value, bytes);
        }
        EncodeInt32(prototype.label, bytes);
    }

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace karvona::classifier
