#pragma once
// multipart/form-data bodies: the parts, each a view into the body.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace karvona::service {

struct FormPart {
    std::string name;      ///< the name of Content-Disposition
    std::string filename;  ///< its filename, empty when there is none
    std::string_view content;
};

enum class FormStatus { kOk, kMalformed, kTooManyParts };

/// Splits body at "--" + boundary into its parts (at most maxParts). Malformed when the first
/// delimiter or the closing one is missing, or a part has no blank line after its headers.
FormStatus SplitForm(std::string_view body, const std::string& boundary, std::size_t maxParts,
                     std::vector<FormPart>& parts);

}  // namespace karvona::service
