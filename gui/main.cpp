// zelmora: the desktop program.

#include <QApplication>

#include "gui/zelmora_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    zelmora::gui::CZelmoraApp app(qt);
    if (!app.start(true))
        return 1;
    return qt.exec();
}
