#include "gui/instruments/ht300_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/text.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Wide enough that a value outside the sampler's rules can be typed and
// is then named by the rule, not silently clipped by the box.
QDoubleSpinBox* volumeBox(int hundredths, QWidget* parent) {
    auto* b = new QDoubleSpinBox(parent);
    b->setRange(0, 999.99);
    b->setDecimals(2);
    b->setSuffix(" мкл");
    b->setValue(hundredths / 100.0);
    return b;
}

QDoubleSpinBox* numberBox(int value, double low, double high, const QString& suffix,
                          QWidget* parent) {
    auto* b = new QDoubleSpinBox(parent);
    b->setRange(low, high);
    b->setDecimals(0);
    b->setSuffix(suffix);
    b->setValue(value);
    return b;
}

QSpinBox* intBox(int value, int low, int high, QWidget* parent) {
    auto* b = new QSpinBox(parent);
    b->setRange(low, high);
    b->setValue(value);
    return b;
}

int hundredths(const QDoubleSpinBox* b) {
    return static_cast<int>(std::lround(b->value() * 100.0));
}

int whole(const QDoubleSpinBox* b) {
    return static_cast<int>(std::lround(b->value()));
}

void warn(QWidget* parent, const std::string& text) {
    MessageRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Warning;
    r.caption = QStringLiteral("Дозатор HT300");
    r.text = q(text);
    showMessage(r);
}

}  // namespace

CHt300SettingsDlg::CHt300SettingsDlg(CHt300Sampler& sampler, CDeviceManager* devices,
                                     QWidget* parent)
    : QDialog(parent), sampler_(sampler), devices_(devices), base_(sampler.settings()) {
    setObjectName("HT300Settings");
    setWindowTitle("Установки дозатора HT300");
    const Ht300Settings& s = base_;

    auto* dosing = new QGroupBox("Дозирование", this);
    auto* df = new QFormLayout(dosing);
    dose_ = volumeBox(s.volSamp, dosing);
    df->addRow("Объём дозы:", dose_);
    aspSpeed_ = numberBox(s.aspSpeed, 0, 999, " мкл/сек", dosing);
    aspSpeed_->setSpecialValueText("как у дозатора");
    df->addRow("Скорость набора пробы:", aspSpeed_);
    ejeSpeed_ = numberBox(s.ejeSpeed, 0, 999, " мкл/сек", dosing);
    df->addRow("Скорость дозирования:", ejeSpeed_);
    preTime_ = numberBox(s.preTime, 0, 999, " сек", dosing);
    df->addRow("Время перед дозированием:", preTime_);
    posTime_ = numberBox(s.posTime, 0, 999, " сек", dosing);
    df->addRow("Время внутри испарителя:", posTime_);
    repeat_ = intBox(s.repeat, 0, 99, dosing);
    df->addRow("Количество дозирований одной пробы:", repeat_);
    injectors_ = new QComboBox(dosing);
    injectors_->addItems({"Ближний", "Дальний", "Оба (два прохода)"});
    injectors_->setCurrentIndex(std::clamp(s.injectors, 0, 2));
    df->addRow("Испаритель:", injectors_);

    auto* wash = new QGroupBox("Промывка", this);
    auto* wf = new QFormLayout(wash);
    preVol_ = volumeBox(s.preVol, wash);
    wf->addRow("Объём промывки перед дозированием:", preVol_);
    volFill_ = volumeBox(s.volFill, wash);
    wf->addRow("Объём промывки пробой:", volFill_);
    postVol_ = volumeBox(s.postVol, wash);
    wf->addRow("Объём промывки после дозирования:", postVol_);
    volAir_ = volumeBox(s.volAir, wash);
    wf->addRow("Объём воздуха:", volAir_);

    auto* standard = new QGroupBox("Внутренний стандарт", this);
    auto* sf = new QFormLayout(standard);
    isoEnab_ = new QCheckBox("Добавлять внутренний стандарт", standard);
    isoEnab_->setChecked(s.isoEnab != 0);
    sf->addRow(isoEnab_);
    isVol_ = volumeBox(s.isVol, standard);
    sf->addRow("Объём внутреннего стандарта:", isVol_);
    isVial_ = intBox(s.intStandartVial, 0, kHt300MaxVials, standard);
    sf->addRow("Виала внутреннего стандарта:", isVial_);

    auto* start = new QGroupBox("Запуск записи", this);
    auto* sg = new QGridLayout(start);
    device_ = new QComboBox(start);
    if (devices_ != nullptr) {
        for (int i = 0; i < devices_->count(); ++i) {
            const CDevice& d = devices_->device(i);
            if (&d == &sampler_ || d.channelCount() == 0)
                continue;
            device_->addItem(q(text::format("%d. %s", i + 1, d.displayName().c_str())), i);
        }
    }
    const int at = device_->findData(s.deviceIndex);
    device_->setCurrentIndex(at);
    sg->addWidget(new QLabel("Прибор:", start), 0, 0);
    sg->addWidget(device_, 0, 1, 1, 8);
    sg->addWidget(new QLabel("Каналы ближнего испарителя:", start), 1, 0);
    sg->addWidget(new QLabel("Каналы дальнего испарителя:", start), 2, 0);
    for (int c = 0; c < 8; ++c) {
        near_[c] = new QCheckBox(QString::number(c + 1), start);
        near_[c]->setChecked((s.startChannelBits0 & (1 << c)) != 0);
        far_[c] = new QCheckBox(QString::number(c + 1), start);
        far_[c]->setChecked((s.startChannelBits1 & (1 << c)) != 0);
        sg->addWidget(near_[c], 1, c + 1);
        sg->addWidget(far_[c], 2, c + 1);
    }
    connect(device_, &QComboBox::currentIndexChanged, this, [this] { showChannels(); });
    showChannels();

    auto* info = new QLabel(q(text::format("Шприц %.0f мкл, лоток на %d виал", sampler_.syringeUl(),
                                           sampler_.vialPlaces())),
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(dosing, 0, 0, 2, 1);
    grid->addWidget(wash, 0, 1);
    grid->addWidget(standard, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(start);
    layout->addWidget(info);
    layout->addWidget(buttons);
}

void CHt300SettingsDlg::showChannels() {
    int channels = 0;
    if (devices_ != nullptr && device_->currentIndex() >= 0) {
        const int i = device_->currentData().toInt();
        if (i >= 0 && i < devices_->count())
            channels = devices_->device(i).channelCount();
    }
    for (int c = 0; c < 8; ++c) {
        near_[c]->setVisible(c < channels);
        far_[c]->setVisible(c < channels);
    }
}

Ht300Settings CHt300SettingsDlg::values() const {
    Ht300Settings s = base_;
    s.volSamp = hundredths(dose_);
    s.aspSpeed = whole(aspSpeed_);
    s.ejeSpeed = whole(ejeSpeed_);
    s.preTime = whole(preTime_);
    s.posTime = whole(posTime_);
    s.repeat = repeat_->value();
    s.injectors = injectors_->currentIndex();
    s.preVol = hundredths(preVol_);
    s.volFill = hundredths(volFill_);
    s.postVol = hundredths(postVol_);
    s.volAir = hundredths(volAir_);
    s.isoEnab = isoEnab_->isChecked() ? 1 : 0;
    s.isVol = hundredths(isVol_);
    s.intStandartVial = isVial_->value();
    if (device_->currentIndex() >= 0)
        s.deviceIndex = device_->currentData().toInt();
    s.startChannelBits0 = 0;
    s.startChannelBits1 = 0;
    for (int c = 0; c < 8; ++c) {
        if (near_[c]->isChecked())
            s.startChannelBits0 |= 1 << c;
        if (far_[c]->isChecked())
            s.startChannelBits1 |= 1 << c;
    }
    return s;
}

std::optional<std::string> CHt300SettingsDlg::check() const {
    const Ht300Settings s = values();
    bool usable = true;
    if (devices_ != nullptr) {
        // A device with channels other than the sampler, and a channel of it
        // for every injector in use.
        usable =
            device_->currentIndex() >= 0 && s.deviceIndex >= 0 && s.deviceIndex < devices_->count();
        if (usable) {
            const int mask = (1 << devices_->device(s.deviceIndex).channelCount()) - 1;
            if (s.injectors != 1 && (s.startChannelBits0 & mask) == 0)
                usable = false;
            if (s.injectors != 0 && (s.startChannelBits1 & mask) == 0)
                usable = false;
        }
    }
    return validateHt300Settings(s, sampler_.syringeUl(), usable);
}

void CHt300SettingsDlg::accept() {
    if (const auto broken = check()) {
        warn(this, *broken);
        return;
    }
    sampler_.setSettings(values());
    QDialog::accept();
}

CHt300Setup1Dlg::CHt300Setup1Dlg(CHt300Sampler& sampler, QWidget* parent)
    : QDialog(parent), sampler_(sampler), base_(sampler.settings()) {
    setObjectName("HT300Setup1");
    setWindowTitle("Настройка дозатора HT300");
    const Ht300Settings& s = base_;

    auto* wash = new QGroupBox("Промывка шприца", this);
    auto* wg = new QGridLayout(wash);
    wg->addWidget(new QLabel("Перед дозированием", wash), 0, 1);
    wg->addWidget(new QLabel("После дозирования", wash), 0, 2);
    wg->addWidget(new QLabel("Растворитель:", wash), 1, 0);
    predSolvent_ = intBox(s.predSolvent, 0, 255, wash);
    postSolvent_ = intBox(s.postSolvent, 0, 255, wash);
    wg->addWidget(predSolvent_, 1, 1);
    wg->addWidget(postSolvent_, 1, 2);
    wg->addWidget(new QLabel("Количество промывок:", wash), 2, 0);
    clnCountPre_ = intBox(s.clnCountPre, 0, 99, wash);
    clnCountPost_ = intBox(s.clnCountPost, 0, 99, wash);
    wg->addWidget(clnCountPre_, 2, 1);
    wg->addWidget(clnCountPost_, 2, 2);
    wg->addWidget(new QLabel("Режим промывки:", wash), 3, 0);
    clnModePre_ = intBox(s.clnModePre, 0, 255, wash);
    clnModePost_ = intBox(s.clnModePost, 0, 255, wash);
    wg->addWidget(clnModePre_, 3, 1);
    wg->addWidget(clnModePost_, 3, 2);
    wg->addWidget(new QLabel("Промывок пробой:", wash), 4, 0);
    clnSamp_ = intBox(s.clnSamp, 0, 99, wash);
    wg->addWidget(clnSamp_, 4, 1);

    auto* other = new QGroupBox("Пузырьки и внутренний стандарт", this);
    auto* of = new QFormLayout(other);
    bubbleDelay_ = intBox(s.bubbleDelay, 0, 99, other);
    bubbleDelay_->setSuffix(" сек");
    of->addRow("Задержка устранения пузырьков:", bubbleDelay_);
    bubbleStrokes_ = intBox(s.bubbleStrokes, 0, 99, other);
    of->addRow("Ходов поршня:", bubbleStrokes_);
    isSolv_ = intBox(s.isSolv, 0, 255, other);
    of->addRow("Растворитель внутреннего стандарта:", isSolv_);

    auto* hand = new QGroupBox("Ручная промывка", this);
    auto* hf = new QFormLayout(hand);
    handSolvent_ = intBox(s.handWashSolvent, 0, 255, hand);
    hf->addRow("Растворитель:", handSolvent_);
    handVol_ = volumeBox(s.handWashVolume, hand);
    hf->addRow("Объём:", handVol_);
    handCount_ = intBox(s.handWashCount, 0, 99, hand);
    hf->addRow("Количество:", handCount_);
    wash_ = new QPushButton("Промыть", hand);
    wash_->setEnabled(sampler_.isRunning());
    hf->addRow(wash_);
    connect(wash_, &QPushButton::clicked, this, [this] { washNow(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wash);
    auto* row = new QHBoxLayout;
    row->addWidget(other);
    row->addWidget(hand);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

Ht300Settings CHt300Setup1Dlg::values() const {
    Ht300Settings s = base_;
    s.predSolvent = predSolvent_->value();
    s.postSolvent = postSolvent_->value();
    s.clnCountPre = clnCountPre_->value();
    s.clnCountPost = clnCountPost_->value();
    s.clnModePre = clnModePre_->value();
    s.clnModePost = clnModePost_->value();
    s.clnSamp = clnSamp_->value();
    s.bubbleDelay = bubbleDelay_->value();
    s.bubbleStrokes = bubbleStrokes_->value();
    s.isSolv = isSolv_->value();
    s.handWashSolvent = handSolvent_->value();
    s.handWashVolume = hundredths(handVol_);
    s.handWashCount = handCount_->value();
    return s;
}

std::optional<std::string> CHt300Setup1Dlg::check() const {
    const Ht300Settings s = values();
    const double syringe = sampler_.syringeUl();
    if (s.handWashVolume / 100.0 > syringe)
        return text::format(
            "Объём ручной промывки (%.2f мкл) больше, чем объём шприца (%.2f "
            "мкл)\nУменьшите объём ручной промывки.",
            s.handWashVolume / 100.0, syringe);
    return checkHt300Ranges(s);
}

void CHt300Setup1Dlg::accept() {
    if (const auto broken = check()) {
        warn(this, *broken);
        return;
    }
    // Only this dialog's values: the others may have changed meanwhile.
    Ht300Settings s = sampler_.settings();
    const Ht300Settings v = values();
    s.predSolvent = v.predSolvent;
    s.postSolvent = v.postSolvent;
    s.clnCountPre = v.clnCountPre;
    s.clnCountPost = v.clnCountPost;
    s.clnModePre = v.clnModePre;
    s.clnModePost = v.clnModePost;
    s.clnSamp = v.clnSamp;
    s.bubbleDelay = v.bubbleDelay;
    s.bubbleStrokes = v.bubbleStrokes;
    s.isSolv = v.isSolv;
    s.handWashSolvent = v.handWashSolvent;
    s.handWashVolume = v.handWashVolume;
    s.handWashCount = v.handWashCount;
    sampler_.setSettings(s);
    QDialog::accept();
}

bool CHt300Setup1Dlg::washNow() {
    if (const auto broken = check()) {
        warn(this, *broken);
        return false;
    }
    Ht300Settings s = sampler_.settings();
    const Ht300Settings v = values();
    s.handWashSolvent = v.handWashSolvent;
    s.handWashVolume = v.handWashVolume;
    s.handWashCount = v.handWashCount;
    sampler_.setSettings(s);
    if (const Status washed = sampler_.handWash(); !washed) {
        warn(this, washed.message());
        return false;
    }
    return true;
}

CHt300MainDlg::CHt300MainDlg(CHt300Sampler& sampler, CDeviceManager* devices, QWidget* parent)
    : QDialog(parent), sampler_(sampler), devices_(devices) {
    setObjectName("HT300Main");
    setWindowTitle(q(text::format("Дозатор HT300 (прибор %d)", sampler.deviceIndex() + 1)));
    table_ = new QTableWidget(this);
    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels({"Виала", "Проба", "Использовать"});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    fillTable();

    tray_ = new QLabel(this);
    status_ = new QLabel(this);
    status_->setFrameShape(QFrame::StyledPanel);
    start_ = new QPushButton("Пуск", this);
    stop_ = new QPushButton("Стоп", this);
    auto* settings = new QPushButton("Установки...", this);
    auto* setup = new QPushButton("Настройка...", this);
    auto* all = new QPushButton("Отметить все", this);
    auto* none = new QPushButton("Снять отметки", this);
    auto* close = new QPushButton("Закрыть", this);
    connect(start_, &QPushButton::clicked, this, [this] { startSeries(); });
    connect(stop_, &QPushButton::clicked, this, [this] { stopSeries(); });
    connect(settings, &QPushButton::clicked, this, [this] {
        CHt300SettingsDlg dlg(sampler_, devices_, this);
        dlg.exec();
    });
    connect(setup, &QPushButton::clicked, this, [this] {
        CHt300Setup1Dlg dlg(sampler_, this);
        dlg.exec();
    });
    auto markAll = [this](bool on) {
        for (int r = 0; r < table_->rowCount(); ++r)
            table_->item(r, 2)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    connect(all, &QPushButton::clicked, this, [markAll] { markAll(true); });
    connect(none, &QPushButton::clicked, this, [markAll] { markAll(false); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {start_, stop_, settings, setup, all, none})
        side->addWidget(b);
    side->addStretch();
    side->addWidget(close);
    auto* row = new QHBoxLayout;
    row->addWidget(table_, 1);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tray_);
    layout->addLayout(row, 1);
    layout->addWidget(status_);
    resize(520, 460);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_->start(500);
    refresh();
}

void CHt300MainDlg::fillTable() {
    places_ = sampler_.vialPlaces();
    const std::vector<Ht300Vial> vials = sampler_.vials();
    table_->setRowCount(places_);
    for (int r = 0; r < places_; ++r) {
        const Ht300Vial& v = vials[static_cast<std::size_t>(r)];
        auto* number = new QTableWidgetItem(QString::number(r + 1));
        number->setFlags(Qt::ItemIsEnabled);
        table_->setItem(r, 0, number);
        table_->setItem(r, 1, new QTableWidgetItem(q(v.name)));
        auto* use = new QTableWidgetItem;
        use->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        use->setCheckState(v.use ? Qt::Checked : Qt::Unchecked);
        table_->setItem(r, 2, use);
    }
    table_->resizeColumnToContents(0);
}

void CHt300MainDlg::storeVials() {
    for (int r = 0; r < table_->rowCount(); ++r) {
        Ht300Vial v;
        v.name = table_->item(r, 1)->text().toStdString();
        v.use = table_->item(r, 2)->checkState() == Qt::Checked;
        sampler_.setVial(r, v);
    }
}

bool CHt300MainDlg::startSeries() {
    storeVials();
    if (const Status started = sampler_.startSeries(); !started) {
        warn(this, started.message());
        return false;
    }
    refresh();
    return true;
}

void CHt300MainDlg::stopSeries() {
    sampler_.stopSeries();
    refresh();
}

void CHt300MainDlg::refresh() {
    // The sampler reported another tray: the list follows (names kept).
    if (sampler_.vialPlaces() != places_) {
        storeVials();
        fillTable();
    }
    tray_->setText(
        q(text::format("Лоток на %d виал, шприц %.0f мкл%s", places_, sampler_.syringeUl(),
                       sampler_.isRunning() ? "" : "; дозатор не подключён")));
    const int state = sampler_.state();
    const bool series = sampler_.isRunning() && state >= CHt300Sampler::Start;
    std::string text = sampler_.isRunning() ? sampler_.statusText() : "Дозатор не подключён";
    if (series)
        text +=
            text::format("; виала %d, доз %d", sampler_.currentVial(), sampler_.injectionsDone());
    status_->setText(q(text));
    start_->setEnabled(sampler_.isRunning() && state == CHt300Sampler::Waiting);
    stop_->setEnabled(series);
    const int current = sampler_.currentVial() - 1;
    for (int r = 0; r < table_->rowCount(); ++r) {
        QFont f = table_->item(r, 0)->font();
        f.setBold(series && r == current);
        table_->item(r, 0)->setFont(f);
    }
}

void CHt300MainDlg::done(int r) {
    storeVials();
    QDialog::done(r);
}

}  // namespace zelmora::gui
