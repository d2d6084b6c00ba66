#include "gui/reports/report_wnd.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QPageSize>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QStackedWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/work_log.h"
#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/file_dialogs.h"
#include "gui/message_box.h"
#include "gui/reports/report_printing.h"
#include "reports/rtf_text_document.h"
#include "reports/rtf_writer.h"

namespace zelmora::gui {
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

fs::path pathOf(const QString& s) {
    return fs::path(s.toStdString());
}

// A window title as a file name: without the characters file systems refuse.
QString fileNameOf(QString title) {
    for (QChar c : QStringLiteral("/\\:*?\"<>|"))
        title.replace(c, QLatin1Char('_'));
    return title.trimmed().isEmpty() ? QStringLiteral("Отчёт") : title.trimmed();
}

QMdiArea* workAreaNear(QWidget* near) {
    for (QWidget* w = near; w != nullptr; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QMdiArea*>(w))
            return area;
        if (auto* main = qobject_cast<QMainWindow*>(w))
            if (auto* area = qobject_cast<QMdiArea*>(main->centralWidget()))
                return area;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<QMainWindow*>(w); main && main->isVisible())
            if (auto* area = qobject_cast<QMdiArea*>(main->centralWidget()))
                return area;
    return nullptr;
}

}  // namespace

CReportWnd::CReportWnd(std::unique_ptr<CReportDoc> report, const QString& title, QWidget* parent)
    : QMdiSubWindow(parent), report_(std::move(report)), title_(title) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window shows the report band while this window is active.
    setProperty("zelmoraBand", band::kReport);

    stack_ = new QStackedWidget(this);
    editor_ = new QTextEdit(stack_);
    editor_->setDocument(report_->text());
    editor_->setAcceptRichText(true);
    editor_->setLineWrapMode(QTextEdit::FixedPixelWidth);
    editor_->setLineWrapColumnOrWidth(static_cast<int>(report_->paperWidth()));
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The page white on grey, as wide as the paper.
    QPalette grey = editor_->palette();
    grey.setColor(QPalette::Base, QColor(0xE6, 0xE6, 0xE6));
    editor_->setPalette(grey);
    stack_->addWidget(editor_);

    pages_ = new QWidget(stack_);
    auto* layout = new QVBoxLayout(pages_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    pageBar_ = new QToolBar(pages_);
    pageBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto add = [this](int id, auto slot) -> QAction* {
        const CommandEntry* c = findCommand(id);
        if (c == nullptr)
            return nullptr;
        QAction* a = makeCommandAction(*c, this);
        pageBar_->addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(command::kReportPrint, [this] { print(); });
    pageBar_->addSeparator();
    add(command::kZoomNormal, [this] { zoomNormal(); });
    add(command::kZoomWidth, [this] { zoomWidth(); });
    add(command::kZoomPage, [this] { zoomPage(); });
    pageBar_->addSeparator();
    firstPage_ = add(command::kPageFirst, [this] { firstPage(); });
    previousPage_ = add(command::kPagePrevious, [this] { previousPage(); });
    nextPage_ = add(command::kPageNext, [this] { nextPage(); });
    lastPage_ = add(command::kPageLast, [this] { lastPage(); });
    pageBar_->addSeparator();
    backToText_ = pageBar_->addAction(QStringLiteral("Закрыть просмотр"));
    backToText_->setToolTip(QStringLiteral("Вернуться к редактированию отчёта"));
    connect(backToText_, &QAction::triggered, this, [this] { setPageView(false); });
    layout->addWidget(pageBar_);
    stack_->addWidget(pages_);
    setWidget(stack_);

    connect(report_->text(), &QTextDocument::modificationChanged, this, [this] {
        updateTitle();
        emit commandStatesChanged();
    });
    updateTitle();
}

CReportWnd::~CReportWnd() {
    // The editor and the preview refer to the report's text: they go first.
    delete stack_;
}

void CReportWnd::updateTitle() {
    // "[*]" is where Qt puts the modified mark.
    setWindowTitle(title_ + QStringLiteral("[*]"));
    setWindowModified(report_->isEdited());
}

void CReportWnd::setDatabaseReport(std::optional<std::string> csv) {
    databaseReport_ = true;
    csv_ = std::move(csv);
    setProperty("zelmoraBand", band::kPrintReport);
    // A summary of the database is looked at and printed, not edited.
    editor_->setReadOnly(true);
    backToText_->setVisible(false);
    setPageView(true);
}

void CReportWnd::updatePageActions() {
    const int page = currentPage();
    const int count = pageCount();
    const bool back = pageView() && page > 1;
    const bool forward = pageView() && page < count;
    for (QAction* a : {firstPage_, previousPage_})
        if (a != nullptr)
            a->setEnabled(back);
    for (QAction* a : {nextPage_, lastPage_})
        if (a != nullptr)
            a->setEnabled(forward);
}

bool CReportWnd::saveAs() {
    FileRequest r;
    r.parent = this;
    r.save = true;
    r.caption = QStringLiteral("Сохранить отчёт");
    const fs::path folder = report_->pathName().empty() ? programOptions().chromatogramFolder()
                                                        : report_->pathName().parent_path();
    const QString name = report_->pathName().empty() ? fileNameOf(title_) + QStringLiteral(".rtf")
                                                     : q(report_->pathName().filename().string());
    r.start = q((folder / name.toStdString()).string());
    r.filter = QStringLiteral("Отчёт (*.rtf);;PDF (*.pdf)");
    if (csv_)
        r.filter += QStringLiteral(";;CSV (*.csv)");
    r.defaultSuffix = QStringLiteral("rtf");
    const QString chosen = chooseFile(r);
    if (chosen.isEmpty())
        return false;
    return saveTo(pathOf(chosen));
}

bool CReportWnd::saveTo(const fs::path& file) {
    const QString extension = QString::fromStdString(file.extension().string());
    const auto is = [&extension](const char* e) {
        return extension.compare(QLatin1String(e), Qt::CaseInsensitive) == 0;
    };
    Status written;
    if (is(".pdf"))
        written = report_->savePdf(file);
    else if (csv_ && is(".csv"))
        written = paths::writeFileAtomically(file, *csv_);
    else
        written = report_->saveRtf(file);
    if (!written) {
        showFailure(this, written, QStringLiteral("Не удалось записать отчёт: %1"),
                    QMessageBox::Warning, title_);
        return false;
    }
    if (databaseReport_) {
        // The report is in its file: its window has done its work.
        closeWithoutAsking();
        return true;
    }
    updateTitle();
    emit commandStatesChanged();
    return true;
}

bool CReportWnd::print() {
    const PrintOutcome outcome = printReport(*report_, title_, true, this);
    if (!outcome.printed && !outcome.failure.isEmpty())
        showMessage({this, QMessageBox::Warning, title_,
                     QStringLiteral("Отчёт не напечатан: ") + outcome.failure});
    return outcome.printed;
}

bool CReportWnd::printWithoutDialog() {
    const PrintOutcome outcome = printReport(*report_, title_, false, this);
    if (!outcome.printed) {
        // Nobody may be at the instrument: no message box, the report stays
        // open and the work log says why.
        CWorkLog::instance().write("! Отчёт \"" + title_.toStdString() +
                                   "\" не напечатан: " + outcome.failure.toStdString());
    }
    return outcome.printed;
}

void CReportWnd::setPageView(bool on) {
    if (on && preview_ == nullptr) {
        previewPrinter_ = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
        previewPrinter_->setOutputFormat(QPrinter::PdfFormat);
        const QSizeF mm = rtf::paperSize(report_->page(), 25.4);
        previewPrinter_->setFullPage(true);
        previewPrinter_->setPageSize(QPageSize(mm, QPageSize::Millimeter));
        previewPrinter_->setPageMargins(QMarginsF(0, 0, 0, 0));
        preview_ = new QPrintPreviewWidget(previewPrinter_.get(), pages_);
        preview_->setViewMode(QPrintPreviewWidget::SinglePageView);
        connect(preview_, &QPrintPreviewWidget::paintRequested, this,
                [this](QPrinter* printer) { report_->paint(*printer); });
        connect(preview_, &QPrintPreviewWidget::previewChanged, this, [this] {
            updatePageActions();
            emit commandStatesChanged();
        });
        pages_->layout()->addWidget(preview_);
    }
    if (on) {
        // The pages as the text is now.
        preview_->updatePreview();
        stack_->setCurrentWidget(pages_);
    } else {
        stack_->setCurrentWidget(editor_);
        editor_->setFocus();
    }
    updatePageActions();
    emit commandStatesChanged();
}

bool CReportWnd::pageView() const {
    return stack_->currentWidget() == pages_;
}

void CReportWnd::zoomNormal() {
    if (!pageView())
        return;
    preview_->setZoomMode(QPrintPreviewWidget::CustomZoom);
    preview_->setZoomFactor(1.0);
}

void CReportWnd::zoomWidth() {
    if (pageView())
        preview_->fitToWidth();
}

void CReportWnd::zoomPage() {
    if (pageView())
        preview_->fitInView();
}

void CReportWnd::firstPage() {
    showPage(1);
}

void CReportWnd::previousPage() {
    showPage(currentPage() - 1);
}

void CReportWnd::nextPage() {
    showPage(currentPage() + 1);
}

void CReportWnd::lastPage() {
    showPage(pageCount());
}

void CReportWnd::showPage(int page) {
    if (!pageView())
        return;
    preview_->setCurrentPage(std::clamp(page, 1, std::max(1, preview_->pageCount())));
    updatePageActions();
    emit commandStatesChanged();
}

int CReportWnd::currentPage() const {
    return pageView() ? preview_->currentPage() : 0;
}

int CReportWnd::pageCount() const {
    return pageView() ? preview_->pageCount() : report_->pageCount();
}

double CReportWnd::zoomFactor() const {
    return pageView() ? preview_->zoomFactor() : 0;
}

void CReportWnd::closeWithoutAsking() {
    closeConfirmed_ = true;
    close();
}

bool CReportWnd::queryClose() {
    if (!report_->isEdited())
        return true;
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Question;
    r.caption = QStringLiteral("Zelmora");
    r.text = QStringLiteral("Сохранить изменения в отчёте «%1»?").arg(title_);
    r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    r.defaultButton = QMessageBox::Yes;
    switch (showMessage(r)) {
        case QMessageBox::Yes: {
            const fs::path& file = report_->pathName();
            return file.empty() ? saveAs() : saveTo(file);
        }
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

bool CReportWnd::keepChangesUnattended() {
    if (!report_->isEdited())
        return true;
    const fs::path original = report_->pathName();
    const fs::path folder =
        original.empty() ? programOptions().chromatogramFolder() : original.parent_path();
    const std::string stem =
        original.empty() ? fileNameOf(title_).toStdString() : original.stem().string();
    fs::path copy = folder / (stem + " (несохранённые изменения).rtf");
    std::error_code ec;
    for (int i = 2; fs::exists(copy, ec); ++i)
        copy = folder / (stem + " (несохранённые изменения " + std::to_string(i) + ").rtf");
    const Status written = rtf::writeRtfFile(report_->richText(), copy);
    CWorkLog::instance().write(
        written ? ". Изменения отчёта " + title_.toStdString() +
                      " при завершении программы сохранены в " + copy.string()
                : "! Изменения отчёта " + title_.toStdString() +
                      " при завершении программы не сохранены: " + written.message());
    return written.ok();
}

void CReportWnd::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !queryClose()) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    QMdiSubWindow::closeEvent(event);
}

CReportWnd* showReport(QWidget* near, rtf::RtfDocument report, const QString& title) {
    return showReport(near, std::make_unique<CReportDoc>(std::move(report)), title);
}

namespace {

// Puts a new report window into the work area near `near` (or on its own),
// shown and active.
CReportWnd* place(QWidget* near, CReportWnd* window) {
    QMdiArea* area = workAreaNear(near);
    const int width = static_cast<int>(window->document().paperWidth()) + 60;
    if (area != nullptr) {
        area->addSubWindow(window);
        const QSize room = area->viewport()->size();
        if (room.width() > 200 && room.height() > 150)
            window->resize(std::min(width, room.width() * 9 / 10), room.height() * 9 / 10);
        window->show();
        // The area places new windows beside the others: the report is kept
        // whole in view.
        window->move(std::clamp(window->x(), 0, std::max(0, room.width() - window->width())),
                     std::clamp(window->y(), 0, std::max(0, room.height() - window->height())));
        area->setActiveSubWindow(window);
    } else {
        window->resize(width, 800);
        window->show();
    }
    return window;
}

}  // namespace

CReportWnd* showReport(QWidget* near, std::unique_ptr<CReportDoc> report, const QString& title) {
    // Owned by the area or by Qt.
    return place(near, new CReportWnd(std::move(report), title));
}

CReportWnd* showDatabaseReport(QWidget* near, rtf::RtfDocument report, const QString& title,
                               std::optional<std::string> csv) {
    auto* window = new CReportWnd(std::make_unique<CReportDoc>(std::move(report)), title);
    window->setDatabaseReport(std::move(csv));
    return place(near, window);
}

CReportWnd* openReportFile(QWidget* near, const fs::path& file) {
    Result<std::unique_ptr<CReportDoc>> read = CReportDoc::open(file);
    if (!read.ok()) {
        showFailure(near, read.status(), QStringLiteral("Не удалось открыть отчёт: %1"));
        return nullptr;
    }
    return showReport(near, std::move(*read), q(file.filename().string()));
}

CReportWnd* openReportWithDialog(QWidget* near) {
    FileRequest r;
    r.parent = near;
    r.caption = QStringLiteral("Открыть отчет");
    r.start = q(programOptions().chromatogramFolder().string());
    r.filter = QStringLiteral("Отчёты (*.rtf *.RTF)");
    const QString chosen = chooseFile(r);
    if (chosen.isEmpty())
        return nullptr;
    return openReportFile(near, pathOf(chosen));
}

}  // namespace zelmora::gui
