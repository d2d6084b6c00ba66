#include "gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "app/program_settings.h"

namespace zelmora::gui {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Zelmora"));
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    buildMenus();
    statusBar()->showMessage(QStringLiteral("Готово"));
    resize(1280, 800);
}

void CMainFrame::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    file->addAction(QStringLiteral("&Выход"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Окно"));
    window->addAction(QStringLiteral("&Каскадом"), mdi_, &QMdiArea::cascadeSubWindows);
    window->addAction(QStringLiteral("&Мозаикой"), mdi_, &QMdiArea::tileSubWindows);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Справка"));
    help->addAction(QStringLiteral("&О программе..."), this, [this] {
        const QString text = QStringLiteral("Zelmora\n%1 от %2\nСтабильная версия")
                                 .arg(QString::fromStdString(versionText()),
                                      QString::fromStdString(buildDateText()));
        QMessageBox::about(this, QStringLiteral("О программе"), text);
    });
}

}  // namespace zelmora::gui
