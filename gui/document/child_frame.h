#pragma once
// CChildFrame: the window of one open chromatogram in the main window's work
// area. It owns the chromatogram document (whose title and modified mark
// "*" it shows), the document's commands with the dialogs they ask, the link
// that keeps the document's method copy in step with saved methods, and the
// chromatogram view. The main window's command table runs the menu and
// toolbar commands on the window, its commands and its view.
//
// A modified chromatogram asks to be saved before its window closes.

#include <QMdiSubWindow>
#include <filesystem>
#include <memory>
#include <optional>

#include "document/zelmora_doc.h"
#include "gui/document/chromatogram_prompts.h"
#include "gui/document/qt_message_sink.h"
#include "gui/file_dialogs.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"

namespace zelmora::gui {

class CPeekView;
class CZelmoraView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    // `owner` stands under the messages and dialogs of the chromatogram
    // (the main window); the window itself when null.
    explicit CChildFrame(QWidget* owner = nullptr);
    ~CChildFrame() override;

    // Opens the chromatogram file through the document's open hook, whose
    // messages are shown; on success the window gets its view. False leaves
    // an empty window that the caller discards.
    bool openFile(const std::filesystem::path& path);
    // "Файл → Импорт..." and a dropped ".cdf" or ".csv": the chromatogram of
    // another system (AIA/ANDI netCDF, CSV) in this window, without a file of
    // its own (saving asks for a name) and marked changed. The refusal of a
    // file is shown with its reason; false leaves an empty window that the
    // caller discards.
    bool openImported(const std::filesystem::path& path);
    // A chromatogram just made from a recording and not written yet: its
    // content moves into this window's document (path and save name kept),
    // marked changed.
    bool openRecorded(CZelmoraDoc&& recorded);

    // "&Сохранить": to the document's file when it exists and may be
    // written, otherwise as "Сохранить &как...".
    bool save();
    // "Сохранить &как...": the file dialog (".stg"), then the save.
    bool saveAs();
    // "Экспорт в AIA/ANDI...": the file dialog (".cdf"), then the trace, the
    // peaks and the passport written as an AIA/ANDI netCDF file.
    bool exportAia();
    // The document's save hook to `path`; on success the window belongs to
    // that file.
    bool saveTo(const std::filesystem::path& path);
    // The name "Сохранить как" proposes: the title up to the first of the
    // characters " #%;/\".
    static QString proposedFileName(const QString& title);

    // The close rule: true when the window may close — the chromatogram is
    // unchanged, or the person saved it ("Да") or gave up the changes ("Нет").
    bool queryClose();
    // Lets the window close without asking (the person was asked already).
    void setCloseConfirmed(bool confirmed) { closeConfirmed_ = confirmed; }
    // The close rule when no one can answer (the session ends): unsaved
    // changes are written, without overwriting the chromatogram's file, to
    // "<name> (несохранённые изменения).stg" beside it (in the chromatograms
    // folder for one never saved), and the work log names that file. False
    // when they could not be written.
    bool keepChangesUnattended();

    CZelmoraDoc& document() { return *doc_; }
    const CZelmoraDoc& document() const { return *doc_; }
    ChromatogramCommands& commands() { return *commands_; }
    ChromatogramPrompts& prompts() { return prompts_; }
    CZelmoraView* view() const { return view_; }
    // The peak table beside the chromatogram (its second view).
    CPeekView* peekView() const { return peekView_; }
    // The document's title, or the file name when it has none yet.
    QString titleText() const;

    // Called by the document's state.
    void documentTitleChanged();
    void documentModifiedChanged();
    void updateViews();

  signals:
    // Enabled or checked states of the window's commands may have changed.
    void commandStatesChanged();
    void cursorTextChanged(const QString& text);
    void spanTextChanged(const QString& text);
    // The chromatogram was written to `path` (for the recent files).
    void fileSaved(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The one place that makes the view and connects it to the window.
    void createView();
    // A save dialog in the chromatogram's folder, proposing its title with
    // `suffix`.
    FileRequest saveRequest(const QString& caption, const char* suffix);

    QWidget* owner_;
    QtMessageSink sink_;
    ChromatogramPrompts prompts_;
    std::unique_ptr<CZelmoraDoc> doc_;
    std::unique_ptr<ChromatogramCommands> commands_;
    std::optional<MethodReloadLink> reloadLink_;
    int subscription_ = 0;
    CZelmoraView* view_ = nullptr;   // owned by this window's widget
    CPeekView* peekView_ = nullptr;  // owned by this window's widget
    bool closeConfirmed_ = false;
};

}  // namespace zelmora::gui
