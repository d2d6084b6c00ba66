#include "gui/method/peak_events_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "app/text.h"
#include "gui/method/add_event_dlg.h"

namespace zelmora::gui {
namespace {
constexpr const char* kCaptions[] = {"Запретить разметку пиков",
                                     "Разрешить разметку пиков",
                                     "Объединить пики",
                                     "Закончить объединение пиков",
                                     "Установить минимальную ширину",
                                     "Установить макс.расст.между пиками с общ.баз.линией",
                                     "Установить ширину",
                                     "Установить минимальную высоту",
                                     "Установить макс. площадь наездника",
                                     "Установить минимальную площадь",
                                     "Увеличение ширины вдвое"};
}  // namespace

QString peakEventCaption(int kind) {
    if (kind < 0 || kind >= static_cast<int>(std::size(kCaptions)))
        return QString::fromStdString(text::format("Событие %d", kind));
    return QString::fromUtf8(kCaptions[kind]);
}

QString peakEventLine(const PeakEvent& e) {
    std::string line = peakEventCaption(e.kind).toStdString();
    if (e.flag != 0)
        line += text::format(" %.3f", e.value);
    line += text::format(" с %.3f мин", e.time);
    return QString::fromStdString(line);
}

CPeakEventsDlg::CPeakEventsDlg(std::vector<PeakEvent> events, QWidget* parent)
    : QDialog(parent), events_(std::move(events)) {
    setWindowTitle(QStringLiteral("События"));
    askEvent = [this]() -> std::optional<PeakEvent> {
        CAddEventDlg dlg(CAddEventDlg::Mode::Timetable, this);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.event();
    };
    auto* layout = new QHBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setMinimumWidth(420);
    layout->addWidget(list_);
    auto* column = new QVBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("Удалить"), this);
    auto* replace = new QPushButton(QStringLiteral("Заменить"), this);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    column->addWidget(add);
    column->addWidget(remove);
    column->addWidget(replace);
    column->addStretch();
    column->addWidget(buttons);
    layout->addLayout(column);
    connect(add, &QPushButton::clicked, this, &CPeakEventsDlg::addEvent);
    connect(remove, &QPushButton::clicked, this, &CPeakEventsDlg::deleteSelected);
    connect(replace, &QPushButton::clicked, this, &CPeakEventsDlg::replaceSelected);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    fill();
}

void CPeakEventsDlg::fill() {
    list_->clear();
    for (const PeakEvent& e : events_)
        list_->addItem(peakEventLine(e));
}

void CPeakEventsDlg::addEvent() {
    const std::optional<PeakEvent> e = askEvent ? askEvent() : std::nullopt;
    if (!e)
        return;
    events_.push_back(*e);
    list_->addItem(peakEventLine(*e));
    list_->setCurrentRow(list_->count() - 1);
}

void CPeakEventsDlg::deleteSelected() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(events_.size()))
        return;
    events_.erase(events_.begin() + row);
    std::unique_ptr<QListWidgetItem> item(list_->takeItem(row));
}

void CPeakEventsDlg::replaceSelected() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(events_.size()))
        return;
    // Asked first, so that cancelling the new event keeps the old one.
    const std::optional<PeakEvent> e = askEvent ? askEvent() : std::nullopt;
    if (!e)
        return;
    events_.erase(events_.begin() + row);
    events_.push_back(*e);
    fill();
    list_->setCurrentRow(list_->count() - 1);
}

}  // namespace zelmora::gui
