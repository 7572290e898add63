#pragma once
// The "harvest", "train" and "calibrate" subcommands of karvona.
//
//   karvona harvest --photos DIR --out SAMPLES
//   karvona train --samples DIR --letters FILE --digits FILE [--norm 40x40] [--grid 10x10]
//                 [--protos 3] [--seed S] [--epochs N]
//
// Each subcommand runs when it is parsed and ends the process with its own exit code: 0 on
// success, 1 when the input was unusable (nothing is written then by train) or, for harvest,
// a photograph could not be read, 2 on bad usage.

#include <CLI/CLI.hpp>

//   karvona calibrate --photos DIR... --out FILE [--data DIR] [--jobs N]

/// Registers the three subcommands on app.
void AddTrainingCommands(CLI::App& app);
