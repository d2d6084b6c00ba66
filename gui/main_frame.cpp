#include "gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "app/program_settings.h"
#include "gui/app/programm_setup_sheet.h"

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

    QMenu* service = menuBar()->addMenu(QStringLiteral("&Сервис"));
    service->addAction(QStringLiteral("&Опции ..."), this, &CMainFrame::showOptions);

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

void CMainFrame::showOptions() {
    auto& settings = CProgramSettings::instance();
    CProgrammSetupSheet sheet(settings.options(), {}, this);
    if (sheet.exec() != QDialog::Accepted)
        return;
    settings.setOptions(sheet.result());
    std::string error;
    if (!settings.save(&error)) {
        QMessageBox::warning(this, QStringLiteral("Zelmora"),
                             QStringLiteral("Не удалось сохранить настройки: %1")
                                 .arg(QString::fromStdString(error)));
    }
    // Every view redraws with the new display options.
    for (QWidget* w : findChildren<QWidget*>())
        w->update();
}

}  // namespace zelmora::gui
