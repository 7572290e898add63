// libFuzzer target: any bytes as a training file. A load either fails and leaves the codebook
// empty, or yields a table that matches its header; a loaded codebook then classifies a
// character with whatever recipe the file gave it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <string>

#include "classifier/lvq_cluster.hpp"
#include "fuzz_file.hpp"

using karvona::classifier::CLvqCluster;
using karvona::classifier::TrainingFileStatus;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = karvona::fuzz::ScratchFile("trn");
    if (!karvona::fuzz::WriteWhole(path, data, size))
        return 0;
    CLvqCluster codebook;
    const TrainingFileStatus status = codebook.LoadTrainingFile(path);
    if (status != TrainingFileStatus::Ok) {
        if (!codebook.prototypes.empty() || codebook.featureLength != 0)
            std::abort();  // a failed load must leave the codebook as it was
        return 0;
    }
    const std::int64_t declared =
        static_cast<std::int64_t>(codebook.classCount) * codebook.prototypesPerClass;
    if (declared != codebook.prototypeCount() ||
        codebook.EnabledFeatureLength() > codebook.featureLength ||
        64 + declared * (8 * static_cast<std::int64_t>(codebook.featureLength) + 4) >
            static_cast<std::int64_t>(size))
        std::abort();
    for (const auto& prototype : codebook.prototypes)
        if (prototype.vector.size() != static_cast<std::size_t>(codebook.featureLength))
            std::abort();

    // Classifying costs the recipe's normal size and the table; keep the run short.
    if (static_cast<std::int64_t>(codebook.normWidth) * codebook.normHeight <= 256 * 256 &&
        declared * codebook.featureLength <= (1 << 22)) {
        cv::Mat character(30, 16, CV_8UC1, cv::Scalar(0));
        cv::rectangle(character, {3, 2}, {12, 27}, cv::Scalar(255), 3);
        std::vector<int> classes;
        std::vector<double> distances;
        codebook.Classify(character, classes, distances);
        if (classes.size() < 5 || classes.size() != distances.size())
            std::abort();
    }
    return 0;
}
