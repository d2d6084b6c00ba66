#include "gui/instruments/analysis_queue_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "gui/file_dialogs.h"
#include "gui/message_box.h"
#include "gui/method/method_chooser.h"
#include "instruments/device.h"
#include "instruments/device_manager.h"

namespace zelmora::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Row colours of the entries in work and processed.
const QColor kInWorkColour(0xFF, 0x80, 0x00);
const QColor kProcessedColour(0xC8, 0xC8, 0xC8);

constexpr int kIndexRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

QueueFilePicker& filePicker() {
    static QueueFilePicker picker;
    return picker;
}

void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning) {
    MessageRequest r;
    r.parent = parent;
    r.icon = icon;
    r.text = text;
    showMessage(r);
}

QString chooseOne(QWidget* parent, const QString& caption, const QString& start,
                  const QString& filter) {
    FileRequest r;
    r.parent = parent;
    r.caption = caption;
    r.start = start;
    r.filter = filter;
    return chooseFile(r);
}

}  // namespace

QString queueStateText(int status) {
    switch (status) {
        case kQueueInWork:
            return QStringLiteral("В работе");
        case kQueueProcessed:
            return QStringLiteral("Обработан");
        default:
            return QStringLiteral("Новая");
    }
}

CAnalysisQueueDlg::CAnalysisQueueDlg(AnalysisQueue& queue, SettingsStore& settings,
                                     CDeviceManager* devices, QWidget* parent)
    : QDialog(parent), queue_(queue), settings_(settings), devices_(devices) {
    setWindowTitle(QStringLiteral("Очередь КЖК"));
    setModal(false);

    table_ = new QTableWidget(0, 4, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Пробирка"), QStringLiteral("ТИП"),
                                       QStringLiteral("Информация"), QStringLiteral("Состояние")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->setMinimumSize(520, 300);

    showProcessed_ = new QCheckBox(QStringLiteral("Показывать обработанные"), this);
    showProcessed_->setChecked(true);
    connect(showProcessed_, &QCheckBox::toggled, this, &CAnalysisQueueDlg::refresh);
    workLine_ = new QLabel(this);

    auto* load = new QPushButton(QStringLiteral("Загрузить"), this);
    auto* up = new QPushButton(QStringLiteral("Вверх"), this);
    auto* down = new QPushButton(QStringLiteral("Вниз"), this);
    auto* redo = new QPushButton(QStringLiteral("Сделать заново"), this);
    auto* setup = new QPushButton(QStringLiteral("Настройка"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    load->setObjectName("load");
    up->setObjectName("up");
    down->setObjectName("down");
    redo->setObjectName("redo");
    setup->setObjectName("setup");
    connect(load, &QPushButton::clicked, this, &CAnalysisQueueDlg::loadQueue);
    connect(up, &QPushButton::clicked, this, &CAnalysisQueueDlg::moveUp);
    connect(down, &QPushButton::clicked, this, &CAnalysisQueueDlg::moveDown);
    connect(redo, &QPushButton::clicked, this, &CAnalysisQueueDlg::redo);
    connect(setup, &QPushButton::clicked, this, &CAnalysisQueueDlg::showSettings);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {load, up, down, redo, setup})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* top = new QHBoxLayout;
    top->addWidget(table_, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(showProcessed_);
    layout->addWidget(workLine_);
    refresh();
}

void CAnalysisQueueDlg::refreshLater() {
    QMetaObject::invokeMethod(this, &CAnalysisQueueDlg::refresh, Qt::QueuedConnection);
}

void CAnalysisQueueDlg::refresh() {
    const std::vector<QueueEntry> entries = queue_.entries();
    const bool processedToo = showProcessed_->isChecked();
    table_->setRowCount(0);
    const QueueEntry* inWork = nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QueueEntry& e = entries[i];
        if (e.status == kQueueInWork && !inWork)
            inWork = &e;
        if (e.status == kQueueProcessed && !processedToo)
            continue;
        const int row = table_->rowCount();
        table_->insertRow(row);
        const QStringList cells = {QString::asprintf("%d", e.vial), q(e.type), q(e.info),
                                   queueStateText(e.status)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setData(kIndexRole, static_cast<int>(i));
            item->setData(kIdRole, e.id);
            if (e.status == kQueueInWork)
                item->setBackground(kInWorkColour);
            else if (e.status == kQueueProcessed)
                item->setBackground(kProcessedColour);
            table_->setItem(row, c, item);
        }
    }
    selectMarked();
    workLine_->setText(
        inWork ? QString("В работе Пробирка %1 %2").arg(inWork->vial).arg(q(inWork->type))
               : QStringLiteral("Состояние: Свободен"));
}

// The rows selected in the table become the entries' selection marks.
void CAnalysisQueueDlg::takeSelection() {
    queue_.clearSelection();
    for (const QModelIndex& row : table_->selectionModel()->selectedRows())
        queue_.setSelected(static_cast<std::size_t>(row.data(kIndexRole).toInt()), true);
}

// Selects the rows whose entries carry the mark (after a move).
void CAnalysisQueueDlg::selectMarked() {
    const std::vector<QueueEntry> entries = queue_.entries();
    table_->clearSelection();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const int i = table_->item(row, 0)->data(kIndexRole).toInt();
        if (i >= 0 && static_cast<std::size_t>(i) < entries.size() && entries[i].selected)
            table_->selectRow(row);
    }
}

void CAnalysisQueueDlg::loadQueue() {
    const QueueSettings s = QueueSettings::load(settings_);
    const QString path = chooseQueueFile(this, q(s.loadFolder));
    if (path.isEmpty())
        return;
    std::vector<std::string> warnings;
    const Status loaded = queue_.load(path.toStdString(), &warnings);
    if (!loaded.ok()) {
        showFailure(this, loaded);
    } else if (!warnings.empty()) {
        tell(this, q(warnings.front()));
    }
    refresh();
}

void CAnalysisQueueDlg::moveUp() {
    takeSelection();
    if (Result<bool> moved = queue_.moveSelectedUp(); !moved)
        showFailure(this, moved.status());
    refresh();
}

void CAnalysisQueueDlg::moveDown() {
    takeSelection();
    if (Result<bool> moved = queue_.moveSelectedDown(); !moved)
        showFailure(this, moved.status());
    refresh();
}

void CAnalysisQueueDlg::redo() {
    takeSelection();
    if (Status s = queue_.redoSelected(); !s.ok())
        showFailure(this, s);
    queue_.clearSelection();
    refresh();
}

void CAnalysisQueueDlg::showSettings() {
    CQueueSettingsDlg dlg(settings_, devices_, this);
    dlg.exec();
}

QString chooseQueueFile(QWidget* parent, const QString& folder) {
    if (filePicker())
        return filePicker()(parent, folder);
    QStringList names;
    for (const std::filesystem::path& f : listQueueFiles(folder.toStdString()))
        names << q(f.filename().string());
    if (names.isEmpty()) {
        tell(parent, QString("В папке «%1» нет файлов очереди (aq-*.xml).").arg(folder),
             QMessageBox::Information);
        return {};
    }
    if (names.size() == 1)
        return QDir(folder).filePath(names.front());
    CQueueListDlg dlg(names, QDate::currentDate().toString("dd.MM.yyyy"), parent);
    if (dlg.exec() != QDialog::Accepted || dlg.chosenFile().isEmpty())
        return {};
    return QDir(folder).filePath(dlg.chosenFile());
}

ScopedQueueFilePicker::ScopedQueueFilePicker(QueueFilePicker picker)
    : previous_(std::move(filePicker())) {
    filePicker() = std::move(picker);
}

ScopedQueueFilePicker::~ScopedQueueFilePicker() {
    filePicker() = std::move(previous_);
}

CQueueListDlg::CQueueListDlg(const QStringList& files, const QString& today, QWidget* parent)
    : QDialog(parent), files_(files) {
    setWindowTitle(QStringLiteral("Список очередей"));
    list_ = new QListWidget(this);
    for (const QString& f : files_)
        list_->addItem(q(queueFileCaption(f.toStdString(), today.toStdString())));
    if (!files_.isEmpty())
        list_->setCurrentRow(files_.size() - 1);
    auto* box = new QDialogButtonBox(this);
    box->addButton(QStringLiteral("Загрузить"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(box);
}

QString CQueueListDlg::chosenFile() const {
    const int row = list_->currentRow();
    return row >= 0 && row < files_.size() ? files_[row] : QString();
}

CQueueSettingsDlg::CQueueSettingsDlg(SettingsStore& settings, CDeviceManager* devices,
                                     QWidget* parent)
    : QDialog(parent), settings_(settings), devices_(devices) {
    setWindowTitle(QStringLiteral("Настройки очереди"));
    const QueueSettings s = QueueSettings::load(settings_);

    device_ = new QComboBox(this);
    channel_ = new QComboBox(this);
    const int count = devices_ ? devices_->count() : 0;
    for (int d = 0; d < count; ++d)
        device_->addItem(QString("%1: %2").arg(d + 1).arg(q(devices_->device(d).displayName())));
    connect(device_, &QComboBox::activated, this, [this](int d) { fillChannels(d, 0); });
    if (s.device >= 0 && s.device < count) {
        device_->setCurrentIndex(s.device);
        fillChannels(s.device, s.channel);
    } else {
        device_->setCurrentIndex(-1);
    }

    auto withButton = [this](QLineEdit* edit, const QString& text, auto onClick) {
        auto* row = new QHBoxLayout;
        auto* button = new QPushButton(text, this);
        row->addWidget(edit, 1);
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, onClick);
        return row;
    };
    workingMethod_ = new QLineEdit(q(s.workingMethod), this);
    purgeMethod_ = new QLineEdit(q(s.purgeMethod), this);
    workingMethod_->setReadOnly(true);
    purgeMethod_->setReadOnly(true);
    folder_ = new QLineEdit(q(s.loadFolder), this);
    program_ = new QLineEdit(q(s.exportProgram), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Прибор для анализа"), device_);
    form->addRow(QStringLiteral("Канал для записи"), channel_);
    form->addRow(QStringLiteral("Рабочий метод по умолчанию"),
                 withButton(workingMethod_, QStringLiteral("Изменить"),
                            [this] { chooseMethod(workingMethod_); }));
    form->addRow(QStringLiteral("Метод для продувки"),
                 withButton(purgeMethod_, QStringLiteral("Изменить"),
                            [this] { chooseMethod(purgeMethod_); }));
    form->addRow(QStringLiteral("Каталог загрузки очередей"),
                 withButton(folder_, QStringLiteral("Папка"), [this] {
                     const QString dir = QFileDialog::getExistingDirectory(
                         this, QStringLiteral("Каталог загрузки очередей"), folder_->text());
                     if (!dir.isEmpty())
                         folder_->setText(dir);
                 }));
    form->addRow(QStringLiteral("Программа экспорта"),
                 withButton(program_, QStringLiteral("..."), [this] {
                     const QString file =
                         chooseOne(this, QStringLiteral("Программа экспорта"), program_->text(),
                                   QStringLiteral("Программа экспорта (*)"));
                     if (!file.isEmpty())
                         program_->setText(file);
                 }));

    auto* box = new QDialogButtonBox(this);
    box->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        save();
        accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);
    setMinimumWidth(480);
}

void CQueueSettingsDlg::fillChannels(int device, int selectChannel) {
    channel_->clear();
    if (!devices_ || device < 0 || device >= devices_->count())
        return;
    for (int c = 0; c < devices_->device(device).channelCount(); ++c)
        channel_->addItem(QString("Канал %1").arg(c + 1));
    channel_->setCurrentIndex(
        selectChannel >= 0 && selectChannel < channel_->count() ? selectChannel : 0);
}

void CQueueSettingsDlg::chooseMethod(QLineEdit* edit) {
    const std::optional<std::string> name = gui::chooseMethod(this, edit->text().toStdString());
    if (name)
        edit->setText(q(*name));
}

QueueSettings CQueueSettingsDlg::current() const {
    QueueSettings s;
    s.device = device_->currentIndex();
    s.channel = s.device >= 0 ? channel_->currentIndex() : -1;
    s.workingMethod = workingMethod_->text().toStdString();
    s.purgeMethod = purgeMethod_->text().toStdString();
    s.loadFolder = folder_->text().toStdString();
    s.exportProgram = program_->text().toStdString();
    return s;
}

void CQueueSettingsDlg::save() {
    current().save(settings_);
    if (Status s = settings_.flush(); !s.ok())
        showFailure(this, s, QStringLiteral("Не удалось сохранить настройки очереди: %1"));
}

}  // namespace zelmora::gui
