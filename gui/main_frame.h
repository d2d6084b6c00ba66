#pragma once
// The main window: a multi-document frame whose child windows are the open
// chromatograms (reports and recordings join them later), with the program's
// menus in Russian, one toolbar band per kind of document window of which
// exactly the one for the active window is shown (128 with no window, 129
// for a chromatogram), a status bar with the value under the mouse and the
// visible spans of the active chromatogram, and the list of recent files.
//
// The menus, the bands' buttons and their states come from the command table
// (gui/command_table.h); commands of windows and dialogs that are not part
// of the program yet are shown disabled, never hidden. Closing the program is refused while an
// instrument records, asks before leaving instruments connected (option
// "ConfirmDisconnect"), and asks for every modified chromatogram.

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <memory>

#include "gui/recent_file_list.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace zelmora {
class AnalysisQueue;
class CDeviceManager;
namespace db {
class CAnalysesDatabase;
}
class CZelmoraDoc;
}  // namespace zelmora

namespace zelmora::gui {

class CAlarmWnd;
class CChildFrame;
class CDatabaseWindows;
class CInstrumentControls;
class CAnalysisQueueDlg;
class CWorkLogWnd;
class CRecordingController;
class CRecordingWnd;
struct CommandTarget;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* mdiArea() const { return mdi_; }
    // "Опции ...": the options dialog; OK takes and saves the options.
    void showOptions();
    // "&О программе...": the version and build date.
    void showAbout();

    // Opens a chromatogram file in a new window, or activates its window when
    // it is open already. Null when it cannot be opened (the reason has been
    // shown); a file of the recent list that fails leaves the list.
    CChildFrame* openDocument(const std::filesystem::path& path);
    // A file given on the command line or dropped on the window: a saved
    // report (".rtf") in a report window, anything else as openDocument
    // does. False when it cannot be opened (the reason has been shown).
    bool openAnyFile(const std::filesystem::path& path);
    // "&Открыть...": the file dialog, then openDocument.
    void openWithDialog();
    // A chromatogram of another system (AIA/ANDI ".cdf", ".csv") in a new
    // window, unsaved; null when it cannot be read (the reason has been
    // shown). openDocument comes here for such files, so that dropped files
    // and the command line take them too.
    CChildFrame* importDocument(const std::filesystem::path& path);
    // "&Импорт...": the file dialog, then importDocument.
    void importWithDialog();
    CChildFrame* activeChromatogram() const;
    QList<CChildFrame*> chromatograms() const;
    // The chromatogram of `file` as it is in its window (unsaved changes
    // included), or null when the file is not open.
    const CZelmoraDoc* openDocumentOf(const std::filesystem::path& file) const;

    // The action of a command number (menus and bands share it), or null.
    QAction* action(int id) const;
    // The toolbar band `id` (128, 129, 132, 133, 183), or null.
    QToolBar* band(int id) const;
    // The band shown now.
    int shownBand() const { return shownBand_; }
    // Rebuilds the instrument bands and the document bands (command 39000).
    void rebuildBands();

    RecentFileList& recentFiles() { return recent_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QLabel* cursorPane() const { return cursorPane_; }
    QLabel* spanPane() const { return spanPane_; }

    // The instruments of the "Приборы" menu, their bands and panes, and the
    // ones the close rules ask about; the bands are rebuilt for them.
    void setDeviceManager(CDeviceManager* devices);
    CDeviceManager* devices() const { return devices_; }
    CInstrumentControls* instruments() const { return instruments_; }
    // The recording controller that carries out the channel commands and
    // whose windows this frame shows.
    void setRecordingController(CRecordingController* recording);
    CRecordingController* recording() const { return recording_; }
    // Puts a recording window into the work area, active; its commands
    // (band 183) act while it is the active window.
    void addRecordingWindow(CRecordingWnd* window);
    CRecordingWnd* activeRecording() const;
    // A chromatogram made from a recording and not written yet, in a new window.
    CChildFrame* openRecordedDocument(CZelmoraDoc&& doc);
    // "Выявлены ошибки в работе с приборами", shown while an instrument has
    // a fault.
    CAlarmWnd* alarmWindow() const { return alarmWnd_; }
    // "По&дключение...": the device-list dialog; a changed list is written
    // and the bands follow it.
    void showDeviceList();
    // The analysis queue: its working copy is read when the window is made.
    AnalysisQueue& analysisQueue() const { return *queue_; }
    // "Очередь КЖК" (33171): the queue window, made on first use.
    CAnalysisQueueDlg* showQueue();

    // The analyses database of the "База данных" commands (owned by the
    // application), and those commands' windows.
    void setDatabase(db::CAnalysesDatabase* database);
    CDatabaseWindows& databaseWindows() { return *databaseWindows_; }
    // "Журнал работы": the work log's window, one for the program.
    void showWorkLog();
    CWorkLogWnd* workLogWindow() const;

    // The close rules without closing: no recording, the disconnect
    // question, then every modified chromatogram. True when the program may
    // end; every chromatogram's question has then been answered.
    bool queryClose();
    // Closes the program as "Выход" does when no one can answer (the session
    // ends, a termination signal): open dialogs are cancelled, nothing is
    // asked, instruments are disconnected and unsaved chromatograms are kept
    // as copies beside their files (CChildFrame::keepChangesUnattended).
    void closeUnattended();
    bool isUnattended() const { return unattended_; }

    // The commands of the table, the recent files and the instruments.
    bool isCommandEnabled(int id) const;
    bool isCommandChecked(int id) const;
    bool runCommand(int id);
    // Enables, checks and shows every action for the active window.
    void updateCommandStates();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QMenu* createPopupMenu() override;

  private:
    void loadAnalysisQueue();
    void createActions();
    void buildMenus();
    void buildStatusBar();
    void showBand(int id);
    // Follows the active window: its band, its menus, its panes, its commands.
    void activeWindowChanged();
    void updateRecentFilesMenu();
    void updateWindowMenu();
    bool openRecent(int index);
    void connectChromatogram(CChildFrame* child);
    // Puts an opened chromatogram's window into the work area, active.
    CChildFrame* addChromatogramWindow(std::unique_ptr<CChildFrame> child);
    // The active window, its commands and view, for the command table.
    CommandTarget commandTarget() const;
    bool isRecentFileCommand(int id) const;
    // Registers the action of command `id`: its shortcuts, its triggering.
    void addCommandAction(int id, QAction* action);

    QMdiArea* mdi_ = nullptr;
    QHash<int, QAction*> actions_;
    QHash<int, QToolBar*> bands_;
    int shownBand_ = 0;
    // Separators that show only with a chromatogram window.
    QList<QAction*> chromatogramSeparators_;
    // Commands of the chromatogram window in menus of the program, and the
    // menus of the chromatogram window: shown only with one.
    QList<QAction*> chromatogramItems_;
    QList<QMenu*> chromatogramMenus_;
    // Commands of the report window in the program's menus: shown only with one.
    QList<QAction*> reportItems_;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QList<QAction*> windowCommands_;
    QList<QAction*> recentActions_;
    QAction* recentPlaceholder_ = nullptr;
    QLabel* cursorPane_ = nullptr;
    QLabel* spanPane_ = nullptr;
    RecentFileList recent_;
    CDeviceManager* devices_ = nullptr;
    CInstrumentControls* instruments_ = nullptr;
    std::unique_ptr<AnalysisQueue> queue_;
    QPointer<CAnalysisQueueDlg> queueDlg_;
    CRecordingController* recording_ = nullptr;
    CAlarmWnd* alarmWnd_ = nullptr;
    bool unattended_ = false;  // closing with no one to answer questions
    std::unique_ptr<CDatabaseWindows> databaseWindows_;
    QPointer<QWidget> workLog_;  // the CWorkLogWnd while it is open
    // A changed device list is written now and the bands rebuilt (posted).
    void deviceListChanged();
};

}  // namespace zelmora::gui
