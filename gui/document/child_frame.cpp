#include "gui/document/child_frame.h"

#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QSplitter>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/aia_file.h"
#include "document/csv_import.h"
#include "gui/command_table.h"
#include "gui/document/passport_dlg.h"
#include "gui/document/peek_view.h"
#include "gui/document/zelmora_view.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"
#include "gui/reports/chromatogram_report.h"
#include "processing/chromatogram_open.h"

namespace zelmora::gui {
namespace fs = std::filesystem;

namespace {

// The framework's part of the document, shown on its window.
class FrameDocumentState : public DocumentState {
  public:
    explicit FrameDocumentState(CChildFrame& frame) : frame_(frame) {}

    fs::path pathName() const override { return path_; }
    void setPathName(const fs::path& path) override { path_ = path; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override {
        title_ = title;
        frame_.documentTitleChanged();
    }
    bool isModified() const override { return modified_; }
    void setModified(bool modified) override {
        if (modified_ == modified)
            return;
        modified_ = modified;
        frame_.documentModifiedChanged();
    }
    void updateAllViews() override { frame_.updateViews(); }

  private:
    CChildFrame& frame_;
    fs::path path_;
    std::string title_;
    bool modified_ = false;
};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

bool mayWrite(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

CChildFrame::CChildFrame(QWidget* owner)
    : owner_(owner),
      sink_(owner != nullptr ? owner : this),
      prompts_(owner != nullptr ? owner : this),
      doc_(std::make_unique<CZelmoraDoc>(std::make_unique<FrameDocumentState>(*this))),
      commands_(std::make_unique<ChromatogramCommands>(*doc_, sink_, prompts_,
                                                       [] { return programOptions(); })) {
    setAttribute(Qt::WA_DeleteOnClose);
    prompts_.setTrace(&doc_->signal);
    subscription_ = doc_->subscribe([this](CZelmoraDoc::Change) { emit commandStatesChanged(); });
    documentTitleChanged();
}

CChildFrame::~CChildFrame() {
    doc_->unsubscribe(subscription_);
    // The view works on the document and its commands: it goes first, before
    // the members it refers to (Qt would delete it after them).
    delete widget();
    view_ = nullptr;
    peekView_ = nullptr;
}

bool CChildFrame::openFile(const fs::path& path) {
    if (!OpenChromatogram(*doc_, path, sink_))
        return false;
    reloadLink_.emplace(*doc_, sink_);
    createView();
    emit commandStatesChanged();
    return true;
}

bool CChildFrame::openImported(const fs::path& path) {
    Result<ImportedChromatogram> r = importChromatogramFile(path);
    if (!r) {
        sink_.messageBox("Импорт хроматограммы", r.message(), MessageIcon::Error);
        return false;
    }
    std::move(r).value().moveInto(*doc_);
    doc_->state().setTitle(path.stem().string());
    doc_->setModified(true);
    reloadLink_.emplace(*doc_, sink_);
    createView();
    emit commandStatesChanged();
    return true;
}

bool CChildFrame::openRecorded(CZelmoraDoc&& recorded) {
    CZelmoraDoc& d = *doc_;
    d.signal = std::move(recorded.signal);
    d.undo = std::move(recorded.undo);
    d.peaks = std::move(recorded.peaks);
    d.peaks.attach(&d.signal);
    d.passport = recorded.passport;
    d.hasMethod = recorded.hasMethod;
    d.method = std::move(recorded.method);
    d.retentionFactor = recorded.retentionFactor;
    d.saveName = recorded.saveName;
    d.reportState = recorded.reportState;
    d.carriedStep = recorded.carriedStep;
    d.state().setPathName(recorded.pathName());
    d.setModified(true);
    d.updateTitle();
    reloadLink_.emplace(d, sink_);
    createView();
    emit commandStatesChanged();
    return true;
}

void CChildFrame::createView() {
    // The chromatogram above, its peak table below, one selection in both.
    auto* split = new QSplitter(Qt::Vertical, this);
    view_ = new CZelmoraView(*doc_, *commands_, split);
    peekView_ = new CPeekView(*doc_, *commands_, passportCatalogue(), split);
    split->addWidget(view_);
    split->addWidget(peekView_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    setWidget(split);
    connect(view_, &CZelmoraView::selectionChanged, peekView_, &CPeekView::selectPeak);
    connect(peekView_, &CPeekView::peakSelected, view_, &CZelmoraView::setSelectedPeak);
    connect(peekView_, &CPeekView::editFailed, this, [] { QApplication::beep(); });
    // The peak commands of the table's menu run as the frame's do.
    auto target = [this] {
        CommandTarget t;
        t.frame = qobject_cast<CMainFrame*>(owner_);
        t.window = this;
        t.view = view_;
        return t;
    };
    peekView_->runCommand = [target](int id) {
        const CommandEntry* c = findCommand(id);
        return c != nullptr && gui::runCommand(*c, target());
    };
    peekView_->isCommandEnabled = [target](int id) {
        const CommandEntry* c = findCommand(id);
        return c != nullptr && gui::isCommandEnabled(*c, target());
    };
    connect(peekView_, &CPeekView::peakSelected, this, &CChildFrame::commandStatesChanged);
    connect(view_, &CZelmoraView::cursorTextChanged, this, &CChildFrame::cursorTextChanged);
    connect(view_, &CZelmoraView::spanTextChanged, this, &CChildFrame::spanTextChanged);
    connect(view_, &CZelmoraView::commandStatesChanged, this, &CChildFrame::commandStatesChanged);
    connect(view_, &CZelmoraView::selectionChanged, this, &CChildFrame::commandStatesChanged);
    // A failed edit is not a message, only the exclamation sound.
    connect(view_, &CZelmoraView::editFailed, this, [] { QApplication::beep(); });
    // The method asks for the text export when the chromatogram is first shown.
    connect(view_, &CZelmoraView::autoExportRequested, this,
            [this] { commands_->ExportText(ExportMode::Automatic); });
    // The report a finished recording asks for, when the chromatogram is
    // first shown.
    connect(view_, &CZelmoraView::reportRequested, this,
            [this](int request) { openChromatogramReport(this, *doc_, titleText(), request); });
}

QString CChildFrame::titleText() const {
    const std::string title = doc_->state().title();
    if (!title.empty())
        return q(title);
    const fs::path path = doc_->pathName();
    return path.empty() ? QStringLiteral("Хроматограмма") : q(path.stem().string());
}

void CChildFrame::documentTitleChanged() {
    // "[*]" is where Qt puts the modified mark.
    setWindowTitle(titleText() + QStringLiteral("[*]"));
    emit commandStatesChanged();
}

void CChildFrame::documentModifiedChanged() {
    setWindowModified(doc_->isModified());
    emit commandStatesChanged();
}

void CChildFrame::updateViews() {
    // The peak table follows the document's changes by itself.
    if (view_ != nullptr)
        view_->update();
}

QString CChildFrame::proposedFileName(const QString& title) {
    static const QString cut = QStringLiteral(" #%;/\\");
    int end = static_cast<int>(title.size());
    for (int i = 0; i < static_cast<int>(title.size()); ++i) {
        if (cut.contains(title[i])) {
            end = i;
            break;
        }
    }
    return title.left(end);
}

bool CChildFrame::save() {
    const fs::path path = doc_->pathName();
    if (!path.empty() && mayWrite(path))
        return saveTo(path);
    return saveAs();
}

FileRequest CChildFrame::saveRequest(const QString& caption, const char* suffix) {
    const fs::path current = doc_->pathName();
    const fs::path folder =
        current.empty() ? programOptions().chromatogramFolder() : current.parent_path();
    QString name = proposedFileName(titleText());
    if (name.isEmpty())
        name = QStringLiteral("Хроматограмма");
    FileRequest r;
    r.parent = owner_ != nullptr ? owner_ : this;
    r.save = true;
    r.caption = caption;
    r.start = q((folder / (name.toStdString() + "." + suffix)).string());
    r.defaultSuffix = QString::fromLatin1(suffix);
    return r;
}

bool CChildFrame::saveAs() {
    FileRequest r = saveRequest(QStringLiteral("Сохранить как"), "stg");
    r.filter = chromatogramFilter();
    const QString chosen = chooseFile(r);
    if (chosen.isEmpty())
        return false;
    fs::path target(chosen.toStdString());
    // Only ".stg" files open again as chromatograms.
    if (!text::equalsNoCase(target.extension().string(), ".stg"))
        target += ".stg";
    return saveTo(target);
}

bool CChildFrame::exportAia() {
    FileRequest r = saveRequest(QStringLiteral("Экспорт в AIA/ANDI"), "cdf");
    r.filter = QStringLiteral("AIA/ANDI (*.cdf)");
    const QString chosen = chooseFile(r);
    if (chosen.isEmpty())
        return false;
    const Status written =
        aia::writeFile(fs::path(chosen.toStdString()), doc_->signal, doc_->passport, doc_->peaks);
    if (!written)
        showFailure(r.parent, written);
    return written.ok();
}

bool CChildFrame::saveTo(const fs::path& path) {
    if (!doc_->OnSaveDocument(path, sink_))
        return false;
    doc_->state().setPathName(path);
    doc_->updateTitle();
    emit fileSaved(q(path.string()));
    emit commandStatesChanged();
    return true;
}

bool CChildFrame::queryClose() {
    if (!doc_->isModified())
        return true;
    MessageRequest r;
    r.parent = owner_ != nullptr ? owner_ : this;
    r.icon = QMessageBox::Warning;
    r.text = QStringLiteral("Сохранить изменения в %1?").arg(titleText());
    r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    r.defaultButton = QMessageBox::Yes;
    switch (showMessage(r)) {
        case QMessageBox::Yes:
            return save();
        case QMessageBox::No:
            return true;
        default:
            return false;
    }
}

bool CChildFrame::keepChangesUnattended() {
    if (!doc_->isModified())
        return true;
    const fs::path original = doc_->pathName();
    const fs::path folder =
        original.empty() ? programOptions().chromatogramFolder() : original.parent_path();
    const std::string stem =
        original.empty() ? proposedFileName(titleText()).toStdString() : original.stem().string();
    fs::path copy = folder / (stem + " (несохранённые изменения).stg");
    std::error_code ec;
    for (int i = 2; fs::exists(copy, ec); ++i)
        copy = folder / text::format("%s (несохранённые изменения %d).stg", stem.c_str(), i);
    // Written as a copy: the document's own file and its database results
    // stay as the operator last saved them.
    const bool written = doc_->Write(copy, sink_, false).ok();
    CWorkLog::instance().write(
        written ? ". Изменения хроматограммы " + titleText().toStdString() +
                      " при завершении программы сохранены в " + copy.string()
                : "! Изменения хроматограммы " + titleText().toStdString() +
                      " при завершении программы не сохранены: " + copy.string());
    return written;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !queryClose()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace zelmora::gui
