#pragma once
// The chromatogram picture of a report: the detector trace with its marked
// peaks (baselines and labels) on axes titled "Отклик детектора, мВ" and
// "Время, мин" in Arial, drawn by the chart drawer at the size chosen on the
// method's report page and embedded as a PNG of that size.

#include <string>

#include "document/peak_table.h"
#include "document/signal.h"
#include "method/method_records.h"
#include "reports/rtf_document.h"

namespace zelmora {

// The picture size of the report page's choice ("6 x 8 см", "9 x 12 см",
// "13.5 x 18 см"): width and height in hundredths of a millimetre.
struct PictureSizeMm100 {
    int width = 8000, height = 6000;
};
PictureSizeMm100 reportPictureSize(int chartSize);

struct ChromatogramPictureOptions {
    int chartSize = 0;
    double dotsPerInch = 200;
    bool labelNumber = false, labelName = true, labelTime = false;  // peak labels
};

// The picture, or an empty one (no data) when the trace has fewer than two
// samples or the image could not be made.
rtf::Picture chromatogramPicture(const Signal& signal, const PeakTable& peaks,
                                 const ChromatogramPictureOptions& options);

// The calibration picture of a report: the curve of every component ticked
// on the report page (amount against the detector's response, height or
// area as the method computes with), its calibration levels as points and
// its name beside it, on axes titled "Количество" (vertical) and "Отклик
// детектора" (horizontal), at the report page's picture size. Empty when
// no ticked component has a level with a response to draw.
rtf::Picture calibrationPicture(const Method& method, const ReportSettings& report,
                                double dotsPerInch);

}  // namespace zelmora
