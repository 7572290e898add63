#pragma once
// Where the photographs of a set with boxes.csv are lost, stage by stage: for the first look, the
// two larger scales and the narrowed looks, whether the locator finds a region and whether it holds
// the labelled characters, how many labelled characters a reader boxes (one box of the reader
// stands in the labelled box, at least 0.45 of its height) and reads right; then how the codebooks
// and the character network classify the labelled boxes themselves, cut as the readers cut a box.

#include <string>
#include <vector>

#include "recognition/reference_data.hpp"

/// Prints the figures of every set; rowsFile (when not empty) receives one CSV row per photograph
/// and look. Returns 0, or 2 when a set has no readable boxes.csv.
int MeasureStages(const std::vector<std::string>& sets,
                  const karvona::recognition::ReferenceDataSet& reference,
                  const std::string& rowsFile);
