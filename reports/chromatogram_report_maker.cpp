#include "reports/chromatogram_report_maker.h"

#include "document/zelmora_doc.h"
#include "method/document_method.h"
#include "reports/preview.h"
#include "reports/report_chrm.h"
#include "reports/report_pictures.h"

namespace zelmora {

Result<rtf::RtfDocument> makeChromatogramReport(const CZelmoraDoc& doc,
                                                const ReportSettings& settings,
                                                const ChromatogramReportContext& context) {
    const Method* method = doc.hasMethod ? documentMethod(doc) : nullptr;
    CPreview view;
    if (const Status loaded =
            view.loadTemplate(CReportChrm::templatePath(context.programFolder, method));
        !loaded)
        return loaded;

    ChromatogramReportInput in;
    in.passport = &doc.passport;
    in.peaks = &doc.peaks;
    in.method = method;
    in.report = settings;
    in.fileName = !doc.pathName().empty() ? doc.pathName().string() : doc.saveName;
    in.now = context.now;
    in.options = context.options;
    in.unitOf = context.unitOf;

    ChromatogramPictureOptions picture;
    picture.chartSize = settings.chartSize;
    picture.dotsPerInch = context.pictureDpi;
    picture.labelNumber = settings.labelNumber;
    picture.labelName = settings.labelName;
    picture.labelTime = settings.labelTime;
    const rtf::Picture chromatogram = chromatogramPicture(doc.signal, doc.peaks, picture);
    if (!chromatogram.data.empty())
        in.chromatogramPicture = &chromatogram;
    rtf::Picture calibration;
    if (method != nullptr && settings.calibration)
        calibration = calibrationPicture(*method, settings, context.pictureDpi);
    if (!calibration.data.empty())
        in.calibrationPicture = &calibration;

    CReportChrm::fill(view, in);
    return std::move(view.document());
}

}  // namespace zelmora
