#pragma once
// CBlobList: the 4-connected components of a binary image (strokes 255 on 0) as a label image
// with one bounding rectangle and one label id per kept component, and the filters, sorts and
// repairs that turn such a list into a clean row or column of character boxes.
//
// Every operation works in place. Entries are (rects[i], ids[i]); the id, not the position in the
// list, ties an entry to its pixels in the label image. All operations do nothing on an empty
// (or not yet labelled) list.

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace karvona::imaging {

class CBlobList {
public:
    static constexpr int kUnlabelled = 10000;
    /// Labels run from 1 to kMaxLabel; 255 marks foreground that is not labelled yet.
    static constexpr int kMaxLabel = 254;
    /// The list never grows beyond this many entries by splitting.
    static constexpr int kSplitLimit = 20;

    CBlobList() = default;

    /// Stores a clone of a one-channel binary image and the minimum component area. Any earlier
    /// labelling is dropped (count returns to kUnlabelled). An empty image or one with more than
    /// one channel leaves a list that labels to 0 entries.
    void SetImage(const cv::Mat& binary, int minArea);

    /// Labels the held image in place and returns the number of kept components (also in count).
    int Label();

    /// Number of valid entries (0 when not labelled).
    int Size() const { return count == kUnlabelled ? 0 : count; }

    // Filters: keep the survivors in order.
    void KeepBlobsSmallerThan(int maxWidth, int maxHeight);
    void KeepBlobsLargerThan(int minWidth, int minHeight);
    void KeepAspectBelow(float ratio);
    void KeepAspectAbove(float ratio);
    void KeepCentralBlobs(int vertical);
    void RemoveBorderBlobs(const cv::Rect& frame);
    /// Keeps the last n entries; n is clamped to 0..count.
    void KeepLastBlobs(int n);

    // Sorting along an axis (0: x, 1: y), by the exchange sort whose order of equal keys the
    // callers rely on.
    void SortBlobs(int axis);
    void SortAndRemoveOverlaps(int axis);

    /// Index of the last entry of the owner prefix (3 normally; 0 or 1 when leading entries are
    /// noise; -1 for 5 to 8 entries; count itself for fewer than 5).
    int FindPrefixBreak(int vertical) const;

    /// Cuts boxes that hold several touching characters (lists of 1 to 20 entries).
    void SplitOversizedBlobs(int vertical);
    /// Joins neighbouring boxes that hold pieces of one broken character (3 entries or more).
    void MergeBrokenBlobs(int vertical);

    /// Sets to 255 every destination pixel (dx + c, dy + r) whose label-image pixel
    /// (rect.x + c, rect.y + r) belongs to entry index. Pixels outside the destination are skipped.
    void PaintBlob(cv::Mat& destination, int index, int dx, int dy) const;

    // The record, read directly by the stages.
    cv::Mat image;  ///< the label image (CV_8UC1) once labelled
    int minArea = 0;
    int count = kUnlabelled;
    std::vector<cv::Rect> rects;
    std::vector<int> ids;

private:
    /// A run of 255 in one row, from x0 to x1 inclusive.
    struct Run {
        int y, x0, x1;
    };
    struct Component {
        int minX, maxX, minY, maxY;
        int area;   ///< pixels in the box without its last row and last column
        int label;  ///< 0 when erased
        int pixels, lastRowPixels, lastColumnRuns;
        bool corner;  ///< a run of the last row ends in the last column
    };

    /// Labels an image of 0 and 255 through its runs; false (nothing written) for other values.
    bool LabelBinaryRuns(int& n);
    /// Finds the runs of every row and joins those of neighbouring rows by union-find; false
    /// when the image holds a value other than 0 and 255.
    bool FindAndJoinRuns();
    /// Appends the runs of 255 of row y; false when the row holds a value other than 0 and 255.
    bool FindRuns(const uchar* row, int width, int y);
    /// Joins each run of a row with the runs of the row above that share a column with it.
    void JoinRowRuns(int previousBegin, int previousEnd, int rowBegin, int rowEnd);
    /// The root of run r's set, halving the path on the way.
    int RootRun(int r);
    /// One component per set of runs with its box, pixel counts and area.
    void CollectComponents();
    /// Labels the components (or erases them) as the walk would, boxes of the kept ones in
    /// boxes_; returns the number kept, 0 when the labelling fails. done receives how many
    /// components the walk would have reached.
    int AssignRunLabels(int& done);
    /// Writes the labels of the first done components into the label image, run by run.
    void WriteRunLabels(int done);
    /// Labels any one-channel image by the scan-and-fill walk.
    int LabelByWalk();
    void RemoveOverlappingBlobs(int axis);
    void KeepIf(const std::vector<char>& keep);
    void Resize(int n);

    bool hasSingleChannel_ = false;
    // Working memory of the labelling, kept for the next image.
    std::vector<std::int32_t> parent_;  ///< the walk's path: parent pixel index per pixel
    std::vector<Run> runs_;
    std::vector<int> runParent_;     ///< union-find over runs
    std::vector<int> runComponent_;  ///< component index of each run
    std::vector<Component> components_;
    std::vector<cv::Rect> boxes_;
};

}  // namespace karvona::imaging
