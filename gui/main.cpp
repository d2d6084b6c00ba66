// zelmora: the desktop program. The arguments are chromatogram files to
// open at start.

#include <QApplication>
#include <QStringList>

#include "gui/zelmora_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    zelmora::gui::CZelmoraApp app(qt);
    if (!app.openCommandLineFiles(qt.arguments().mid(1)))
        return 1;
    app.start(true);
    return qt.exec();
}
