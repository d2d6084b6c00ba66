#pragma once
// The command table: every command of the main window and its chromatogram
// windows written once — its number, its menu label with the shortcut, its
// hint (tooltip and status text), its toolbar text or picture, whether it is
// checkable, where it stands in the menus, what it works on, the rules that
// enable, check and show it, and what runs it. The main window builds its
// menus, the actions of its toolbar bands and their states from the table;
// the chromatogram view takes its keys from it.
//
// A command of a window or dialog that is not part of the program yet is an
// entry without a handler: it is shown, always disabled. Adding a command is
// one entry here (in menu order) plus its handler; a toolbar button is its
// number in the band's list (gui/command_ids.cpp).
//
// The recent files and the instruments' commands are lists that change with
// the settings and the device list: the main window and CInstrumentControls
// keep them; the table only says where the recent files stand in the menu.

#include <QKeySequence>
#include <QList>
#include <QString>
#include <span>

class QAction;
class QWidget;

namespace zelmora::gui {

class CMainFrame;
class CChildFrame;
class CZelmoraView;
class CReportWnd;

// What a command may work on at the moment it is asked about: the main
// window, the active chromatogram window and that window's view, or the
// active report window. Null where there is none (a view on its own in the
// tests has no windows).
struct CommandTarget {
    CMainFrame* frame = nullptr;
    CChildFrame* window = nullptr;
    CZelmoraView* view = nullptr;
    CReportWnd* report = nullptr;
};

// What a command needs before its rules are asked: without it the command
// is disabled and unchecked. The menus of the chromatogram window (those
// with no command that needs only the frame) show only while one is active;
// in the other menus its commands hide instead. The report window's commands
// show only while a report window is active.
enum class Needs { Frame, Chromatogram, View, Report };

// The menus of the menu bar and their submenus.
enum class Menu {
    None,
    File,
    Edit,
    View,
    Peaks,
    Report,
    Method,
    Database,
    DatabaseReportFor,
    Data,
    DataPercents,
    Devices,  // the instruments' menu, built by CInstrumentControls
    Service,
    Window,  // the commands, then the open windows
    Help,
};

struct MenuDescription {
    Menu menu;
    Menu parent;        // Menu::None for one of the menu bar
    const char* title;  // null for the instruments' menu, which titles itself
};
// The menu bar from left to right, then the submenus; a submenu stands in
// its parent where its first command does.
std::span<const MenuDescription> menuBarLayout();

// What goes before a command in its menu.
enum class Separator { None, Always, WithChromatogram };

// A rule answers for the target as it is; a handler does the command and
// answers false when it failed or was cancelled.
using CommandRule = bool (*)(const CommandTarget&);
using CommandHandler = bool (*)(const CommandTarget&);

struct CommandEntry {
    int id = 0;
    // "&" before the access key, "\t" before the shortcut; empty for a
    // toolbar button only. A command with neither label nor hint has no
    // action: it is run by its number only.
    const char* label = "";
    // Tooltip and status text; the label without "&" and shortcut when empty.
    const char* hint = "";
    const char* toolbarText = "";  // what the button shows when it has no picture
    int icon = -1;                 // a QStyle::StandardPixmap, -1 for none
    const char* moreKeys = "";     // shortcuts besides the label's, ", " between
    bool checkable = false;
    Needs needs = Needs::Frame;
    Menu menu = Menu::None;
    Separator separator = Separator::None;
    // The frame's list of recent files stands here; the label is shown,
    // disabled, while the list is empty.
    bool recentFiles = false;
    CommandRule enabled = nullptr;  // none: enabled whenever it has what it needs
    CommandRule checked = nullptr;
    CommandRule shown = nullptr;   // none: always shown (but for the menu rule above)
    CommandHandler run = nullptr;  // none: not part of the program yet
};

std::span<const CommandEntry> commandTable();
// The entry of command `id`, or null.
const CommandEntry* findCommand(int id);

bool isCommandEnabled(const CommandEntry& command, const CommandTarget& target);
bool isCommandChecked(const CommandEntry& command, const CommandTarget& target);
bool isCommandShown(const CommandEntry& command, const CommandTarget& target);
// Runs the command when it is enabled; false when it is disabled, failed or
// was cancelled.
bool runCommand(const CommandEntry& command, const CommandTarget& target);

// The label without the shortcut, and the shortcuts of the label and moreKeys.
QString commandText(const CommandEntry& command);
QList<QKeySequence> commandKeys(const CommandEntry& command);
// A new action for the command with its texts, shortcuts, picture (in the
// style of `owner`) and number (QAction::data); the caller connects it.
QAction* makeCommandAction(const CommandEntry& command, QWidget* owner);

// The command of the chromatogram view that key `key` runs, or null.
const CommandEntry* viewCommandForKey(const QKeySequence& key);

}  // namespace zelmora::gui
