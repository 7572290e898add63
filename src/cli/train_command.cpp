#include "cli/train_command.hpp"

#include <cstdlib>
#include <iostream>
#include <memory>

#include "training/harvest.hpp"
#include "training/train.hpp"

namespace {

[[noreturn]] void Finish(int code) {
    std::cout.flush();
    std::cerr.flush();
    std::exit(code);
}

}  // namespace

void AddTrainingCommands(CLI::App& app) {
    using namespace karvona::training;

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
        ->capture_default_str();
    harvestCommand
        ->add_option("--rank", harvest->maxRank,
                     "With --data: a crop is saved only when its label is among its first ranks "
                     "(0: any)")
        ->capture_default_str();
    harvestCommand->add_flag("--align", harvest->align,
                             "With --data: readings whose boxes do not line up with the label are "
                             "aligned box by box, and the crops that rank their label are kept");
    harvestCommand->add_option("--montage", harvest->montage,
                               "Write one PNG per character of the crops saved into this folder");
    harvestCommand->final_callback(
        [harvest]() { Finish(RunHarvest(*harvest, std::cout, std::cerr)); });

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
        ->capture_default_str();
    trainCommand->add_option("--grid", train->grid, "Binary grid size WxH")->capture_default_str();
    trainCommand->add_option("--protos", train->protos, "Prototypes per class")
        ->capture_default_str();
    trainCommand->add_option("--seed", train->seed, "Seed of the training")->capture_default_str();
    trainCommand->add_option("--epochs", train->epochs, "LVQ epochs")->capture_default_str();
    trainCommand->final_callback([train, sampleFolders]() {
        train->samples = sampleFolders->front();
        train->moreSamples.assign(sampleFolders->begin() + 1, sampleFolders->end());
        Finish(RunTrain(*train, std::cout, std::cerr));
    });
}
