#include "gui/reports/present_report.h"

#include <QDir>
#include <filesystem>

#include "app/paths.h"
#include "gui/file_dialogs.h"
#include "gui/message_box.h"
#include "reports/rtf_text_document.h"
#include "reports/rtf_writer.h"

namespace zelmora::gui {

namespace fs = std::filesystem;

bool presentReport(QWidget* parent, const rtf::RtfDocument& report, const QString& title,
                   const ReportExtras& extras) {
    FileRequest r;
    r.parent = parent;
    r.save = true;
    r.caption = title;
    r.start =
        extras.suggestedFile.isEmpty()
            ? QDir(QString::fromStdString(fs::current_path().string())).filePath(title + ".rtf")
            : extras.suggestedFile;
    r.filter = QStringLiteral("Отчёт (*.rtf);;PDF (*.pdf)");
    if (extras.csv)
        r.filter += QStringLiteral(";;CSV (*.csv)");
    r.defaultSuffix = QStringLiteral("rtf");
    const QString chosen = chooseFile(r);
    if (chosen.isEmpty())
        return false;
    const fs::path path(chosen.toStdString());
    Status written;
    if (chosen.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        written = rtf::writePdf(report, chosen);
    else if (extras.csv && chosen.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        written = paths::writeFileAtomically(path, *extras.csv);
    else
        written = rtf::writeRtfFile(report, path);
    if (!written) {
        showFailure(parent, written, QStringLiteral("Не удалось записать отчёт: %1"),
                    QMessageBox::Warning, title);
        return false;
    }
    return true;
}

}  // namespace zelmora::gui
