// zelmora: the desktop program.

#include <QApplication>

#include "gui/zelmora_app.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    zelmora::gui::CZelmoraApp app(qt);
    app.start(true);
    return qt.exec();
}
