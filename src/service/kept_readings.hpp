#pragma once
// The one call the reading routes make to have their answers kept in the history.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recognition/result.hpp"
#include "service/route.hpp"

namespace karvona::service {

struct KeptReading {
    std::string file;
    std::string pass;
    std::string_view photo;  ///< the bytes as received (empty: not kept)
    const recognition::RecognitionResult* result;
    cv::Mat strip;  ///< the code region as the winning reader cut it out (empty: none)
    std::vector<cv::Rect> characters;  ///< the winning reader's boxes in the strip
};

/// Reads a photograph as the routes read it. When the service keeps a history with pictures,
/// kept also takes the winning reader's region and character boxes. A reading that failed inside
/// throws std::runtime_error (the route answers 500).
recognition::RecognitionResult ReadForKeeping(const ServiceView& view, const cv::Mat& photograph,
                                              KeptReading& kept);

/// Keeps the readings of one request, all or none, before it is answered. Nothing when they
/// were kept or the service keeps no history; otherwise the answer to give instead (503 with
/// the reason: "disk-full" or "history-failed").
std::optional<Answer> KeepReadings(const ServiceView& view, const RequestHead& head,
                                   const std::vector<KeptReading>& readings);

}  // namespace karvona::service
