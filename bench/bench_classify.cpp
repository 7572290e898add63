// One classification of a 30 x 50 character crop against a letter codebook of 25 classes x 3
// prototypes with the full 345-value recipe (40 x 40 normal size, 10 x 10 grid). Classify always
// computes the feature vector first, so BM_Classify includes it; BM_ComputeFeatures shows that
// part alone.
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>
#include <random>

#include "classifier/classification.hpp"
#include "classifier/lvq_cluster.hpp"

namespace {

using karvona::classifier::CLvqCluster;

CLvqCluster MakeCodebook() {
    CLvqCluster c;
    c.featureLength = 345;
    c.gridWidth = c.gridHeight = 10;
    c.classCount = 25;
    c.prototypesPerClass = 3;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (int k = 0; k < 75; ++k) {
        karvona::classifier::LvqPrototype p;
        p.label = k / 3;
        p.vector.resize(345);
        for (double& v : p.vector) {
            v = value(rng);
        }
        c.prototypes.push_back(std::move(p));
    }
    return c;
}

cv::Mat MakeCrop() {
    cv::Mat crop(50, 30, CV_8UC1, cv::Scalar(0));
    cv::ellipse(crop, cv::Point(15, 25), cv::Size(12, 22), 0, 0, 360, cv::Scalar(255), 5);
    cv::line(crop, cv::Point(3, 25), cv::Point(27, 25), cv::Scalar(255), 4);
    return crop;
}

void BM_Classify(benchmark::State& state) {
    const CLvqCluster codebook = MakeCodebook();
    const cv::Mat crop = MakeCrop();
    std::vector<int> classes;
    std::vector<double> distances;
    for (auto _ : state) {
        benchmark::DoNotOptimize(codebook.Classify(crop, classes, distances));
    }
}
BENCHMARK(BM_Classify)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ClassifyCharacter(benchmark::State& state) {
    const CLvqCluster codebook = MakeCodebook();
    const cv::Mat crop = MakeCrop();
    for (auto _ : state) {
        benchmark::DoNotOptimize(karvona::classifier::ClassifyCharacter(codebook, crop, false));
    }
}
BENCHMARK(BM_ClassifyCharacter)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ComputeFeatures(benchmark::State& state) {
    const CLvqCluster codebook = MakeCodebook();
    const cv::Mat crop = MakeCrop();
    for (auto _ : state) {
        benchmark::DoNotOptimize(codebook.ComputeFeatures(crop));
    }
}
BENCHMARK(BM_ComputeFeatures)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
