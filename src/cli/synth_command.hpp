#pragma once
// `karvona synth`: writes synthetic container photographs and their labels into a folder.

#include <CLI/CLI.hpp>

namespace karvona::cli {

/// Registers the `synth` subcommand on app:
///   synth --seed S --count N --out DIR [--layouts LIST] [--size WxH] [--prefixes FILE]
/// The owner prefixes come from --prefixes, else data/prefix.txt, else the shared registry
/// ../shared/data/owner-prefixes.txt. Failures print a message and end with exit code 1, bad
/// --layouts or --size with 2. A progress bar is drawn on stderr when it is a terminal.
void AddSynthCommand(CLI::App& app);

}  // namespace karvona::cli
