// zelmora: the desktop program. The arguments are chromatogram files to
// open at start.

#include <QApplication>
#include <QStringList>

#include "gui/main_frame.h"
#include "gui/termination_signals.h"
#include "gui/zelmora_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    zelmora::gui::CZelmoraApp app(qt);
    // The database first: without it the program does not start.
    if (!app.start(true))
        return 1;
    if (!app.openCommandLineFiles(qt.arguments().mid(1)))
        return 1;
    // Log-out, shutdown or `kill` close the program as "Выход" does, so that
    // the work log gets its stop line and the options are saved.
    zelmora::gui::TerminationSignals terminations;
    QObject::connect(&terminations, &zelmora::gui::TerminationSignals::terminationRequested,
                     &app.mainFrame(), [&app] { app.mainFrame().closeUnattended(); });
    return qt.exec();
}
