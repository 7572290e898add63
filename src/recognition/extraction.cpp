#include "recognition/extraction.hpp"

#include "imaging/primitives.hpp"

namespace karvona::recognition {

namespace {

// Spans of a run of boxes: from the left edge of f to the right edge of l, or from the top of f
// to the bottom of l.
int Across(const cv::Rect& f, const cv::Rect& l) {
    return l.x + l.width - f.x;
}
int Down(const cv::Rect& f, const cv::Rect& l) {
    return l.y + l.height - f.y;
}

cv::Rect Clamp(cv::Rect piece, const cv::Size& photo) {
    // A negative corner moves to 0 and keeps its size; then the size is cut at the far edges.
    if (piece.x < 0)
        piece.x = 0;
    if (piece.y < 0)
        piece.y = 0;
    if (piece.x + piece.width > photo.width)
        piece.width = photo.width - piece.x;
    if (piece.y + piece.height > photo.height)
        piece.height = photo.height - piece.y;
    return piece;
}

int MinimumCount(int layout) {
    switch (layout) {
        case 0:
        case 2:
            return 33;
        case 1:
            return 39;
        case 3:
        case 5:
            return 24;
        case 4:
            return 21;
        case 6:
            return 48;
        default:
            return kMaxTemplateBoxes + 1;
    }
}

}  // namespace

std::vector<cv::Rect> CharacterSetPieces(const cv::Size& photo, int layout, int count,
                                         const TemplateBoxes& boxes) {
    std::vector<cv::Rect> pieces;
    if (layout < 0 || layout >= kLayoutCount || count < MinimumCount(layout) ||
        count > kMaxTemplateBoxes) {
        return pieces;
    }
    const int W = boxes[0].width;
    const int H = boxes[0].height;
    const int m = 2 * H / 3;
    const int second = count / 3;      // first box of the middle row
    const int third = 2 * count / 3;   // first box of the last row
    const int secondLast = third - 1;  // last box of the middle row
    const auto& B = boxes;

    switch (layout) {
        case 0:
        case 1:
            pieces.emplace_back(B[second].x - 9 * W, B[second].y - m,
                                Across(B[second], B[secondLast]) + 13 * W, H + 2 * m);
            break;
        case 2:
            pieces.emplace_back(B[1].x - 2 * W, B[1].y - 6 * m, W + 3 * W,
                                Down(B[1], B[31]) + 14 * m);
            break;
        case 3:
            pieces.emplace_back(B[0].x - 3 * W, B[0].y - m, Across(B[0], B[3]) + 5 * W, H + 2 * m);
            pieces.emplace_back(B[second].x - 3 * W, B[second].y - m,
                                Across(B[second], B[second + 7]) + 6 * W, H + 2 * m);
            break;
        case 4:
            pieces.emplace_back(B[0].x - W, B[0].y - 4 * m, W + 2 * W, Down(B[0], B[9]) + 5 * m);
            pieces.emplace_back(B[1].x - W, B[1].y - 4 * m, W + 2 * W, Down(B[1], B[19]) + 5 * m);
            break;
        case 5:
            pieces.emplace_back(B[0].x - 4 * W, B[0].y - m, Across(B[0], B[3]) + 6 * W, H + 2 * m);
            pieces.emplace_back(B[second].x - 4 * W, B[second].y - m,
                                Across(B[second], B[second + 2]) + 12 * W, H + 2 * m);
            pieces.emplace_back(B[third].x - 4 * W, B[third].y - m,
                                Across(B[third], B[third + 3]) + 6 * W, H + 2 * m);
            pieces.emplace_back(B[third + 1].x - 4 * W, B[third + 1].y + 2 * H - 2 * m,
                                Across(B[third + 1], B[third + 2]) + 6 * W, H + 2 * m);
            break;
        case 6:
            pieces.emplace_back(B[second].x - 8 * W, B[second].y - m,
                                Across(B[second], B[secondLast]) + 12 * W, H + 2 * m);
            break;
        default:
            break;
    }
    for (cv::Rect& piece : pieces)
        piece = Clamp(piece, photo);
    return pieces;
}

cv::Mat ExtractCharacterSet(const cv::Mat& photo, int layout, int count, const TemplateBoxes& boxes,
                            const LocatorOptions& options) {
    if (photo.empty())
        return cv::Mat();
    std::vector<cv::Rect> pieces;
    for (const cv::Rect& piece : CharacterSetPieces(photo.size(), layout, count, boxes)) {
        if (piece.width > 0 && piece.height > 0)
            pieces.push_back(piece);
    }
    if (pieces.empty())
        return cv::Mat();

    // The first piece fixes the height of a strip and the width of a column.
    const bool stacked = layout == 4;
    cv::Size size = pieces[0].size();
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (stacked)
            size.height += pieces[i].height;
        else
            size.width += pieces[i].width;
    }
    cv::Mat output(size, photo.type(), cv::Scalar::all(0));
    cv::Point at(0, 0);
    for (const cv::Rect& piece : pieces) {
        const cv::Mat source = imaging::RegionOf(photo, piece);
        imaging::CopyInto(source, output, cv::Rect(at, piece.size()));
        if (stacked)
            at.y += piece.height;
        else
            at.x += piece.width;
    }
    ShowStep(options, "extracted character set", output);
    return output;
}

}  // namespace karvona::recognition
