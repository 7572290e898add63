#pragma once
// CLvqCluster: one learning-vector-quantization codebook (the letters or the digits) with the
// recipe of its feature vector and its labelled prototypes, as read from a training file.
//
// Training file (.trn), all numbers little-endian, no magic and no padding:
//   offset  0  sixteen signed 32-bit words: featureLength, normWidth, normHeight, gridWidth,
//              gridHeight, useGrid, useRowInk, useColumnInk, useLeftProfile, useRightProfile,
//              useTopProfile, useBottomProfile, useCentreCross, useAspect, classCount,
//              prototypesPerClass
//   offset 64  classCount x prototypesPerClass records, each featureLength IEEE doubles followed
//              by the signed 32-bit class index; bytes after the last record are ignored.
// The order of the records decides ties in classification, so it is kept as stored.
//
// A codebook is loaded once and only read afterwards; classification keeps no state, so any
// thread may classify with a loaded codebook.

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::classifier {

/// Class index of "no class": what an empty codebook, an unusable image or a rank that a small
/// codebook does not fill reports. It maps to the character code 0.
inline constexpr int kNoClass = -1;

struct LvqPrototype {
    std::vector<double> vector;  ///< featureLength values, in feature order
    std::int32_t label = 0;      ///< class index (not a character code)
};

/// How reading a training file went (a photograph's load is recognition::LoadStatus).
enum class TrainingFileStatus {
    Ok,            ///< every declared record was read
    Missing,       ///< the file could not be opened
    NoPrototypes,  ///< the header declares fewer than one prototype
    Invalid,       ///< short header, unusable recipe or counts, or fewer records than declared
};

class CLvqCluster {
public:
    // Sanity bounds on a training file's header; a file beyond them loads nothing.
    static constexpr std::int32_t kMaxFeatureLength = 1 << 20;
    static constexpr std::int32_t kMaxNormSize = 1024;  ///< normWidth, normHeight: 2 .. this
    static constexpr std::int32_t kMaxGridSize = 1024;  ///< gridWidth, gridHeight: 1 .. this
    static constexpr std::size_t kHeaderBytes = 64;

    CLvqCluster() = default;
    virtual ~CLvqCluster() = default;

    /// Reads a training file. Everything is checked before anything is allocated: a featureLength
    /// of 1 .. kMaxFeatureLength that holds every enabled feature block, normWidth and normHeight
    /// of 2 .. kMaxNormSize, grid sizes of 1 .. kMaxGridSize when the grid is on, positive counts,
    /// and a file long enough for every declared record. On Ok the header replaces the recipe and
    /// the records replace the table; on any other status the codebook is left as it was.
    TrainingFileStatus LoadTrainingFile(const std::string& path);

    /// Writes the codebook in the training file format. False (and no file, or a partial one on
    /// an I/O error) when the codebook would not load back: a recipe or counts that the loader
    /// rejects, a table that does not hold classCount x prototypesPerClass prototypes, or a
    /// prototype whose vector is not featureLength long.
    bool SaveTrainingFile(const std::string& path) const;

    /// Empties the table; the recipe stays.
    void ReleasePrototypes() { prototypes.clear(); }

    /// Number of prototypes in the table.
    int prototypeCount() const { return static_cast<int>(prototypes.size()); }

    /// Total length of the feature blocks that the recipe switches on (64-bit: the header's sizes
    /// are not trusted).
    std::int64_t EnabledFeatureLength() const;

    /// The feature vector of a character image (8-bit, one channel, strokes non-zero on 0): the
    /// image is resized to normWidth x normHeight and the enabled blocks are appended in their
    /// fixed order; positions beyond them stay 0 and nothing is written past featureLength.
    /// Empty when the image is empty or not 8-bit one-channel; all 0 when the normal size is
    /// below 2 x 2 (which no loaded codebook has).
    std::vector<double> ComputeFeatures(const cv::Mat& character) const;

    /// Writes the binary grid block of a normalised image at features[position] onward:
    /// gridWidth x gridHeight values in row-major order, 1.0 where the bilinear reduction of the
    /// image is 128 or more, else 0.0. Positions at or past the vector's end are not written.
    void GridFeatures(const cv::Mat& normalised, std::vector<double>& features,
                      std::size_t position) const;

    /// Ranks every prototype by squared Euclidean distance to the character's feature vector.
    /// classes and distances are resized to max(prototypeCount, minRanks) entries; entry r is the
    /// prototype of rank r, ranks no prototype fills read kNoClass at +infinity. The order is the
    /// exchange sort's, which swaps only on a strictly smaller distance: among prototypes at the
    /// least distance the earliest stored one takes rank 0. Returns classes[0] (kNoClass for an
    /// empty codebook or an unusable image).
    int Classify(const cv::Mat& character, std::vector<int>& classes,
                 std::vector<double>& distances, std::size_t minRanks = 5) const;

    std::vector<LvqPrototype> prototypes;

    // The recipe of the feature vector; a flag is on when non-zero.
    std::int32_t featureLength = 0;
    std::int32_t normWidth = 40;
    std::int32_t normHeight = 40;
    std::int32_t gridWidth = 0;
    std::int32_t gridHeight = 0;
    std::int32_t useGrid = 1;
    std::int32_t useRowInk = 1;
    std::int32_t useColumnInk = 1;
    std::int32_t useLeftProfile = 1;
    std::int32_t useRightProfile = 1;
    std::int32_t useTopProfile = 1;
    std::int32_t useBottomProfile = 1;
    std::int32_t useCentreCross = 1;
    std::int32_t useAspect = 1;
    std::int32_t classCount = 0;
    std::int32_t prototypesPerClass = 3;
};

}  // namespace karvona::classifier
