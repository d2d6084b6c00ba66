#pragma once
// The picture of a chromatogram window: axes and ticks through the chart
// drawer, the method's retention windows as bands, the detector trace, the
// baselines and boundary marks of the peaks and their labels.
//
// A trace of millions of samples is drawn from one minimum and maximum per
// pixel column (with the first and last sample of the column, so that the
// joins between columns stay where they are): the picture then costs one
// pass over the visible samples, and nothing more while the time range and
// the width stay the same, since the columns are kept between drawings.
// Zoomed in so far that there are fewer than two samples per column, the
// samples are drawn one by one.

#include <QFont>
#include <QSizeF>

#include <cstdint>
#include <string>
#include <vector>

#include "gui/document/view_geometry.h"

class QPainter;

namespace zelmora {
class CZelmoraDoc;
}  // namespace zelmora

namespace zelmora::gui {

// The method's retention windows as the view shows them: [start, end] in
// minutes and the band kind (0, 1, 2) of each.
struct RetentionWindows {
    std::vector<float> starts, ends;
    std::vector<int> kinds;
    bool empty() const { return starts.empty(); }
};

// One window per component of the chromatogram's method copy: for
// identification by retention time, and for reference components in either
// mode, t*s*(1 - w/100) to t*s*(1 + w/100) with the document's retention
// factor s. A component identified by retention index gets the times whose
// index lies in its window (IndexWindowTimes), kind 1 for linear and 2 for
// logarithmic indices, when both ends are non-zero. Nothing when `shown` is off or the chromatogram
// has no method.
RetentionWindows retentionWindows(const CZelmoraDoc& doc, bool shown);

// What one drawing shows besides the document.
struct ViewScene {
    const CZelmoraDoc* doc = nullptr;
    int selected = -1;  // drawn red, after the others
    bool showGroups = false;
    const RetentionWindows* windows = nullptr;
    // The display options "MarkPeek", "NameNumber", "NameTime", "NameName",
    // "Direction".
    int markPeek = 0;
    bool nameNumber = false;
    bool nameTime = false;
    bool nameName = true;
    int direction = 1;
};

inline constexpr std::uint8_t kCurveRgb[3] = {0, 0, 255};
inline constexpr std::uint8_t kSelectedRgb[3] = {255, 0, 0};
inline constexpr std::uint8_t kPeakRgb[3] = {191, 191, 191};

// The label of a peak: its number from 1, apex time "%.3f" and component
// name, as the options ask, joined with two blanks.
std::string peakLabel(int index, double apexTime, const std::string& name, bool number, bool time,
                      bool componentName);

class ChromatogramPicture {
  public:
    ChromatogramPicture();

    // The view font ("Arial", 8 points) and the label font ("Arial", 12 px).
    static QFont viewFont();
    static QFont labelFont();

    // The plot rectangle for a widget of `size` showing the given ranges: room
    // on the left for the signal labels and title, below for the time labels
    // and title.
    ViewGeometry layout(QSizeF size, double t0, double t1, double y0, double y1) const;

    // Draws everything but the tracking line into `painter`, whose device is
    // `size` logical pixels large, in the geometry from layout().
    void draw(QPainter& painter, QSizeF size, const ViewGeometry& g, const ViewScene& scene);

    // The samples changed in place: the kept columns are stale.
    void invalidateSignal() { ++generation_; }

    // How many samples the last drawing visited to build its columns (0 when
    // the kept columns served); for the tests and the benchmark.
    std::size_t samplesVisited() const { return samplesVisited_; }

  private:
    struct Column {
        float first = 0, last = 0, lo = 0, hi = 0;
        std::size_t firstIndex = 0, lastIndex = 0;
        bool any = false;
    };
    struct CurveCache {
        const float* data = nullptr;
        std::size_t n = 0;
        double signalT0 = 0, signalDt = 0;
        double t0 = 0, t1 = 0;
        int width = 0;
        std::uint64_t generation = ~std::uint64_t{0};
        std::vector<Column> columns;
        // The samples just outside the first and last column, joined to the
        // curve so that it runs on past the plot's edges; -1 when none.
        long long before = -1, after = -1;
    };

    void drawAxes(QPainter& p, QSizeF size, const ViewGeometry& g, const ViewScene& scene) const;
    void drawCurve(QPainter& p, const ViewGeometry& g, const CZelmoraDoc& doc);
    void buildColumns(const ViewGeometry& g, const CZelmoraDoc& doc, int width);
    void drawPeaks(QPainter& p, const ViewGeometry& g, const ViewScene& scene) const;

    CurveCache cache_;
    std::uint64_t generation_ = 0;
    std::size_t samplesVisited_ = 0;
};

}  // namespace zelmora::gui
