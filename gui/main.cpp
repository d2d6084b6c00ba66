// zelmora: the desktop program. The arguments are chromatogram files to
// open at start.

#include <QApplication>
#include <QStringList>

#include "gui/zelmora_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    zelmora::gui::CZelmoraApp app(qt);
    // The database first: without it the program does not start.
    if (!app.start(true))
        return 1;
    if (!app.openCommandLineFiles(qt.arguments().mid(1)))
        return 1;
    return qt.exec();
}
