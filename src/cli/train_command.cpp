#include "cli/train_command.hpp"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <system_error>

#include "classifier/lvq_cluster.hpp"
#include "cli/progress.hpp"
#include "training/box_harvest.hpp"
#include "training/calibrate.hpp"
#include "training/harvest.hpp"
#include "training/train.hpp"

namespace {

[[noreturn]] void Finish(int code) {
    std::cout.flush();
    std::cerr.flush();
    std::exit(code);
}

// A WxH size whose sides lie in [low, high]; the text of a failed check, else empty.
CLI::Validator SizeBetween(int low, int high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            int width = 0, height = 0;
            if (karvona::training::ParseSize(text, width, height) && width >= low &&
                height >= low && width <= high && height <= high) {
                return {};
            }
            return "takes WxH with sides of " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not " + text;
        },
        "WxH");
}

using namespace karvona::training;
using karvona::classifier::CLvqCluster;

void AddHarvestCommand(CLI::App& app) {
    auto harvest = std::make_shared<HarvestOptions>();
    CLI::App* harvestCommand = app.add_subcommand(
        "harvest", "Save the characters of labelled photographs as training samples");
    harvestCommand->add_option("--photos", harvest->photos, "Folder of photographs and labels.csv")
        ->required();
    harvestCommand
        ->add_option("--out", harvest->samples, "Sample folder (one folder per character)")
        ->required();
    harvestCommand->add_option("--data", harvest->data,
                               "Codebooks that check each reading's alignment (optional)");
    harvestCommand
        ->add_option("--agree", harvest->minAgreement,
                     "With --data: positions besides the category letter that must read the label")
        ->check(CLI::Range(0, 10))
        ->capture_default_str();
    harvestCommand
        ->add_option("--rank", harvest->maxRank,
                     "With --data: a crop is saved only when its label is among its first ranks "
                     "(0: any)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    harvestCommand->add_flag("--align", harvest->align,
                             "With --data: readings whose boxes do not line up with the label are "
                             "aligned box by box, and the crops that rank their label are kept");
    harvestCommand->add_flag("--boxes", harvest->boxes,
                             "Cut the labelled character boxes of boxes.csv "
                             "(file,index,char,x0,y0,x1,y1) instead of reading the photographs");
    harvestCommand->add_option("--montage", harvest->montage,
                               "Write one PNG per character of the crops saved into this folder");
    harvestCommand->footer(
        "labels.csv is read as CSV (quoted fields, CRLF line ends): file,code,layout; with "
        "--boxes also boxes.csv: file,index,char,x0,y0,x1,y1, one record per character box. A "
        "progress "
        "bar is drawn on stderr when it is a terminal. Exit code: 0 when every photograph was "
        "read and every sample written, 1 otherwise, 2 on bad usage.");
    harvestCommand->final_callback([harvest]() {
        int code = 0;
        {
            karvona::cli::ProgressBar bar(0, karvona::cli::ProgressBar::StderrIsTerminal());
            harvest->progress = [&bar](int done, int total) {
                bar.Update(done, total);
                if (done == total)
                    bar.Finish();  // the counts follow on stdout
            };
            // Messages on stderr first take the bar away, so that they stand on lines of their
            // own.
            karvona::cli::BarClearingBuffer clearing(std::cerr.rdbuf(), bar);
            std::ostream err(&clearing);
            code = harvest->boxes ? RunBoxHarvest(*harvest, std::cout, err)
                                  : RunHarvest(*harvest, std::cout, err);
            harvest->progress = nullptr;
            err.flush();
        }
        Finish(code);
    });
}

void AddTrainCommand(CLI::App& app) {
    auto train = std::make_shared<TrainOptions>();
    auto sampleFolders = std::make_shared<std::vector<std::string>>();
    CLI::App* trainCommand =
        app.add_subcommand("train", "Train the letter and digit codebooks from sample folders");
    trainCommand
        ->add_option("--samples", *sampleFolders,
                     "Sample folder (one folder per character); may be given more than once")
        ->required();
    trainCommand->add_option("--real", train->real,
                             "Sample folder of characters cut from real photographs (optional)");
    trainCommand->add_option("--real-repeat", train->realRepeat, "Times each real sample counts")
        ->capture_default_str();
    trainCommand
        ->add_option("--real-epochs", train->realEpochs,
                     "Epochs on the real samples alone at the end")
        ->capture_default_str();
    trainCommand->add_flag("--balance", train->balance,
                           "Count classes with few samples up towards the median class");
    trainCommand->add_option("--letters", train->letters, "Letter training file to write")
        ->required();
    trainCommand->add_option("--digits", train->digits, "Digit training file to write")->required();
    trainCommand->add_option("--norm", train->norm, "Normalised character size WxH")
        ->check(SizeBetween(2, CLvqCluster::kMaxNormSize))
        ->capture_default_str();
    trainCommand->add_option("--grid", train->grid, "Binary grid size WxH")
        ->check(SizeBetween(1, CLvqCluster::kMaxGridSize))
        ->capture_default_str();
    trainCommand->add_option("--protos", train->protos, "Prototypes per class")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    trainCommand->add_option("--seed", train->seed, "Seed of the training")->capture_default_str();
    trainCommand->add_option("--epochs", train->epochs, "LVQ epochs")
        ->check(CLI::Range(1, 10000))
        ->capture_default_str();
    trainCommand->footer(
        "Exit code: 0 when both training files were written, 1 when the samples were unusable "
        "(nothing is written then), 2 on bad usage.");
    trainCommand->final_callback([train, sampleFolders]() {
        train->samples = sampleFolders->front();
        train->moreSamples.assign(sampleFolders->begin() + 1, sampleFolders->end());
        std::error_code ec;
        if (std::filesystem::weakly_canonical(train->letters, ec) ==
            std::filesystem::weakly_canonical(train->digits, ec)) {
            std::cerr << "train: --letters and --digits must name two different files\n";
            Finish(2);
        }
        Finish(RunTrain(*train, std::cout, std::cerr));
    });
}

void AddCalibrateCommand(CLI::App& app) {
    auto calibrate = std::make_shared<CalibrateOptions>();
    auto calibrateSets = std::make_shared<std::vector<std::string>>();
    auto calibrateData = std::make_shared<std::string>("data");
    auto calibrateOut = std::make_shared<std::string>();
    CLI::App* calibrateCommand = app.add_subcommand(
        "calibrate", "Fit the reading plan's confidence on labelled training photographs");
    calibrateCommand->add_option(
        "--photos", *calibrateSets,
        "Folder of photographs and labels.csv; may be given more than once");
    calibrateCommand->add_option("--data", *calibrateData, "Codebooks and owner list to read with")
        ->capture_default_str();
    calibrateCommand->add_option("--out", *calibrateOut, "Confidence model to write")->required();
    calibrateCommand->add_option("--save-evidence", calibrate->saveEvidence,
                                 "Also write the evidence of every look's codes to this file");
    calibrateCommand->add_option("--from-evidence", calibrate->fromEvidence,
                                 "Fit from a file --save-evidence wrote instead of photographs");
    calibrateCommand->add_option("--jobs", calibrate->jobs, "Photographs read at once")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    calibrateCommand->footer(
        "Reads every look of every photograph, fits the confidence on the codes they validate, "
        "prints the reliability table and the perfect readings and misreads per threshold, and "
        "writes the model with its sure threshold. Exit code: 0 when the model was written, 1 "
        "when it was written but some photograph or label was skipped (named on stderr), 2 when "
        "nothing could be fitted or written, or on bad usage.");
    calibrateCommand->final_callback([calibrate, calibrateSets, calibrateData, calibrateOut]() {
        if (calibrateSets->empty() && calibrate->fromEvidence.empty()) {
            std::cerr << "calibrate: give --photos DIR (or --from-evidence FILE)\n";
            Finish(2);
        }
        calibrate->sets.assign(calibrateSets->begin(), calibrateSets->end());
        calibrate->data = *calibrateData;
        calibrate->out = *calibrateOut;
        Finish(RunCalibrate(*calibrate, std::cout, std::cerr));
    });
}

}  // namespace

void AddTrainingCommands(CLI::App& app) {
    AddHarvestCommand(app);
    AddTrainCommand(app);
    AddCalibrateCommand(app);
}
