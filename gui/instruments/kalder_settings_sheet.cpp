#include "gui/instruments/kalder_settings_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

#include "app/program_settings.h"
#include "app/text.h"
#include "gui/instruments/kalder_dialogs.h"
#include "gui/message_box.h"
#include "gui/method/method_chooser.h"
#include "instruments/kalder_gas.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"
#include "method/method_prompts.h"
#include "method/method_sheet.h"

namespace zelmora::gui {

namespace {

constexpr int kLiveMs = 500;
constexpr const char* kWarning = "Предупреждение";

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QDoubleSpinBox* number(QWidget* parent, double lo, double hi, int decimals) {
    auto* b = new QDoubleSpinBox(parent);
    b->setRange(lo, hi);
    b->setDecimals(decimals);
    b->setSingleStep(decimals > 0 ? std::pow(10.0, -decimals + 1) : 1);
    b->setMinimumWidth(72);
    return b;
}

QSpinBox* integer(QWidget* parent, int lo, int hi) {
    auto* b = new QSpinBox(parent);
    b->setRange(lo, hi);
    return b;
}

QComboBox* combo(QWidget* parent, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->addItems(items);
    return c;
}

void choose(QComboBox* c, int index) {
    c->setCurrentIndex(std::clamp(index, 0, c->count() - 1));
}

QLabel* measured(QWidget* parent) {
    auto* l = new QLabel(QStringLiteral("—"), parent);
    l->setMinimumWidth(60);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QString zoneLabel(int zone, int code) {
    const std::string name = kalderZoneName(code);
    return name.empty() ? QStringLiteral("Зона %1").arg(zone) : q(name);
}

const QStringList& gasTypes() {
    static const QStringList k = {QStringLiteral("Азот"), QStringLiteral("Гелий"),
                                  QStringLiteral("Аргон"), QStringLiteral("Водород"),
                                  QStringLiteral("Воздух")};
    return k;
}

QString gasChannelTitle(int c) {
    if (c < 8)
        return QStringLiteral("Газ %1").arg(c + 1);
    static const char* const kNames[4] = {"Водород", "Воздух", "Водород 2", "Воздух 2"};
    return QString::fromUtf8(kNames[c - 8]);
}

// The operator's side of the method file's save: the questions about the
// programme time and the errors as message boxes.
class SheetPrompts : public MethodPrompts {
  public:
    explicit SheetPrompts(QWidget* parent) : parent_(parent) {}
    bool askOkCancel(const std::string& text, const std::string& caption) override {
        MessageRequest r;
        r.parent = parent_;
        r.icon = QMessageBox::Warning;
        r.caption = q(caption);
        r.text = q(text);
        r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        return showMessage(r) == QMessageBox::Ok;
    }
    void showError(const std::string& text) override {
        MessageRequest r;
        r.parent = parent_;
        r.icon = QMessageBox::Warning;
        r.text = q(text);
        showMessage(r);
    }
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path&,
                                                     const std::string&,
                                                     const std::string&) override {
        return std::nullopt;
    }

  private:
    QWidget* parent_;
};

void warn(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning) {
    MessageRequest r;
    r.parent = parent;
    r.icon = icon;
    r.caption = QString::fromUtf8(kWarning);
    r.text = text;
    showMessage(r);
}

}  // namespace

QString auxSelectorText(int s) {
    if (s >= 0 && s <= 7)
        return QStringLiteral("Температура зоны %1").arg(s);
    if (s >= 8 && s <= 15)
        return QStringLiteral("Нагрев зоны %1").arg(s - 8);
    if (s >= 16 && s <= 23)
        return QStringLiteral("Отклонение T зоны %1").arg(s - 16);
    if (s >= 24 && s <= 35)
        return QStringLiteral("Расход газа %1").arg(s - 23);
    if (s >= 36 && s <= 47)
        return QStringLiteral("Отклонение расхода газа %1").arg(s - 35);
    if (s >= 48 && s <= 59)
        return QStringLiteral("Pвх газа %1").arg(s - 47);
    if (s >= 60 && s <= 71)
        return QStringLiteral("Pвых газа %1").arg(s - 59);
    if (s >= 72 && s <= 83)
        return QStringLiteral("Vкл газа %1").arg(s - 71);
    if (s == 84)
        return QStringLiteral("Заслонка");
    if (s == 85)
        return QStringLiteral("Сеть 220В");
    if (s >= 86 && s <= 88)
        return QStringLiteral("Сервис %1").arg(s - 85);
    return {};
}

QString buttonFunctionText(int f) {
    if (f == 0)
        return QStringLiteral("Не использовать");
    if (f == 16)
        return QStringLiteral("Все каналы");
    if (f == 17)
        return QStringLiteral("Все доп. каналы");
    QStringList channels;
    for (int c = 0; c < 4; ++c)
        if (f & (1 << c))
            channels << QString::number(c + 1);
    if (channels.size() == 1)
        return QStringLiteral("Канал ") + channels[0];
    if (channels.size() == 2)
        return QStringLiteral("Каналы %1 и %2").arg(channels[0], channels[1]);
    return QStringLiteral("Каналы ") + channels.join(QLatin1Char(','));
}

// --- the sheet base --------------------------------------------------------

CPropertySheetMy::CPropertySheetMy(const QString& caption, bool methodButtons, QWidget* parent)
    : QDialog(parent), caption_(caption) {
    setWindowTitle(caption);
    tabs_ = new QTabWidget(this);
    auto* row = new QHBoxLayout;
    if (methodButtons) {
        toMethod_ = new QPushButton(QStringLiteral("->В метод"), this);
        fromMethod_ = new QPushButton(QStringLiteral("<-Из метода"), this);
        row->addWidget(toMethod_);
        row->addWidget(fromMethod_);
        connect(toMethod_, &QPushButton::clicked, this, [this] { onToMethod(); });
        connect(fromMethod_, &QPushButton::clicked, this, [this] { onFromMethod(); });
    }
    row->addStretch();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    apply_ = new QPushButton(QStringLiteral("Применить"), this);
    row->addWidget(ok_);
    row->addWidget(cancel);
    row->addWidget(apply_);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { onApply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(row);
}

void CPropertySheetMy::accept() {
    if (onApply())
        QDialog::accept();
}

// --- "Установки газа-носителя" ---------------------------------------------

CGasChannelDlg::CGasChannelDlg(int channel, const GasChannelSettings& s, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Установки газа-носителя (%1)").arg(gasChannelTitle(channel)));
    gasType = combo(this, gasTypes());
    QStringList modes;
    for (int m = 0; m < kGasModes; ++m)
        modes << QString::fromUtf8(gasModeName(m));
    mode = combo(this, modes);
    length = number(this, 0, 1000, 2);
    diameter = number(this, 0, 100, 3);
    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("Газ"), this), 0, 0);
    form->addWidget(gasType, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("Режим"), this), 1, 0);
    form->addWidget(mode, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Длина колонки [м]"), this), 2, 0);
    form->addWidget(length, 2, 1);
    form->addWidget(new QLabel(QStringLiteral("Внутренний диаметр [мм]"), this), 3, 0);
    form->addWidget(diameter, 3, 1);

    programme_ = new QGroupBox(QStringLiteral("Программа"), this);
    auto* pg = new QGridLayout(programme_);
    for (int i = 0; i < 3; ++i) {
        pressure[at(i)] = number(programme_, 0, 1000, 3);
        pg->addWidget(new QLabel(QStringLiteral("P%1").arg(i + 1), programme_), i, 0);
        pg->addWidget(pressure[at(i)], i, 1);
    }
    for (int i = 0; i < 2; ++i) {
        hold[at(i)] = number(programme_, 0, 10000, 2);
        rate[at(i)] = number(programme_, -1000, 1000, 3);
        ramps_[at(i)] = new QLabel(programme_);
        pg->addWidget(new QLabel(QStringLiteral("t%1, мин").arg(i + 1), programme_), i, 2);
        pg->addWidget(hold[at(i)], i, 3);
        pg->addWidget(
            new QLabel(i == 0 ? QStringLiteral("V12") : QStringLiteral("V23"), programme_), i, 4);
        pg->addWidget(rate[at(i)], i, 5);
        pg->addWidget(ramps_[at(i)], i, 6);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(programme_);
    layout->addWidget(box);

    choose(gasType, s.gasType);
    choose(mode, s.mode);
    length->setValue(s.columnLength);
    diameter->setValue(s.columnDiameter);
    for (int i = 0; i < 3; ++i)
        pressure[at(i)]->setValue(s.pressure[at(i)]);
    for (int i = 0; i < 2; ++i) {
        hold[at(i)]->setValue(s.pressureTime[at(i)]);
        rate[at(i)]->setValue(s.pressureRate[at(i)]);
    }
    for (QDoubleSpinBox* b : {pressure[0], pressure[1], pressure[2], rate[0], rate[1]})
        connect(b, &QDoubleSpinBox::valueChanged, this, &CGasChannelDlg::update);
    connect(mode, &QComboBox::currentIndexChanged, this, &CGasChannelDlg::update);
    update();
}

QString CGasChannelDlg::rampText(int ramp) const {
    const double v = rate[at(ramp)]->value();
    // A rate of 0 holds the programme: the ramp never ends.
    if (!(v > 0))
        return QStringLiteral("?");
    const double span = std::fabs(pressure[at(ramp + 1)]->value() - pressure[at(ramp)]->value());
    return QString::asprintf("%.2f мин", span / v);
}

void CGasChannelDlg::update() {
    const int m = mode->currentIndex();
    programme_->setVisible(m >= 3 && m <= 5);
    for (int i = 0; i < 2; ++i)
        ramps_[at(i)]->setText(rampText(i));
}

void CGasChannelDlg::accept() {
    const int m = mode->currentIndex();
    for (int i = 0; i < 2; ++i) {
        if (m >= 3 && m <= 5 && rate[at(i)]->value() < 0) {
            warn(this, QStringLiteral("Скорость программы %1 не может быть отрицательной.")
                           .arg(i == 0 ? QStringLiteral("V12") : QStringLiteral("V23")));
            rate[at(i)]->setFocus();
            return;
        }
    }
    QDialog::accept();
}

GasChannelSettings CGasChannelDlg::values() const {
    GasChannelSettings s;
    s.gasType = gasType->currentIndex();
    s.mode = mode->currentIndex();
    s.columnLength = static_cast<float>(length->value());
    s.columnDiameter = static_cast<float>(diameter->value());
    for (int i = 0; i < 3; ++i)
        s.pressure[at(i)] = static_cast<float>(pressure[at(i)]->value());
    for (int i = 0; i < 2; ++i) {
        s.pressureTime[at(i)] = static_cast<float>(hold[at(i)]->value());
        s.pressureRate[at(i)] = static_cast<float>(rate[at(i)]->value());
    }
    return s;
}

// --- "Общие" ----------------------------------------------------------------

DlgKalderCm::DlgKalderCm(QWidget* parent) : QWidget(parent) {
    auto* programmeBox = new QGroupBox(QStringLiteral("Температурная программа колонок"), this);
    auto* pg = new QGridLayout(programmeBox);
    pg->addWidget(new QLabel(QStringLiteral("Т, °C"), programmeBox), 0, 1);
    pg->addWidget(new QLabel(QStringLiteral("Изотерма, мин"), programmeBox), 0, 2);
    pg->addWidget(new QLabel(QStringLiteral("Скорость, °C/мин"), programmeBox), 0, 3);
    static const char* const kRates[4] = {"V12", "V23", "V34", "V45"};
    for (int i = 0; i < 5; ++i) {
        temperature[at(i)] = number(programmeBox, -100, 500, 1);
        isotherm[at(i)] = number(programmeBox, 0, 10000, 2);
        pg->addWidget(new QLabel(QStringLiteral("T%1").arg(i + 1), programmeBox), i + 1, 0);
        pg->addWidget(temperature[at(i)], i + 1, 1);
        pg->addWidget(isotherm[at(i)], i + 1, 2);
        connect(temperature[at(i)], &QDoubleSpinBox::valueChanged, this,
                &DlgKalderCm::updateProgrammeTime);
        connect(isotherm[at(i)], &QDoubleSpinBox::valueChanged, this,
                &DlgKalderCm::updateProgrammeTime);
        if (i < 4) {
            rate[at(i)] = number(programmeBox, -100, 100, 2);
            rate[at(i)]->setPrefix(QString::fromUtf8(kRates[i]) + QStringLiteral(": "));
            pg->addWidget(rate[at(i)], i + 1, 3);
            connect(rate[at(i)], &QDoubleSpinBox::valueChanged, this,
                    &DlgKalderCm::updateProgrammeTime);
        }
    }
    // The programme runs at most four steps.
    temperature[4]->setEnabled(false);
    isotherm[4]->setEnabled(false);
    rate[3]->setEnabled(false);
    programmeTime = new QLabel(programmeBox);
    pg->addWidget(programmeTime, 6, 0, 1, 4);

    auto* zonesBox = new QGroupBox(QStringLiteral("Температурные зоны"), this);
    auto* zg = new QGridLayout(zonesBox);
    zg->addWidget(new QLabel(QStringLiteral("Задано, °C"), zonesBox), 0, 1);
    auto* zoneHead = new QLabel(QStringLiteral("Измерено"), zonesBox);
    zoneHead->setObjectName(QStringLiteral("measuredHead"));
    zg->addWidget(zoneHead, 0, 2);
    for (int z = 0; z < 8; ++z) {
        zoneName[at(z)] = new QLabel(QStringLiteral("Зона %1").arg(z), zonesBox);
        zoneSet[at(z)] = number(zonesBox, -100, 500, 1);
        zoneMeasured[at(z)] = measured(zonesBox);
        zg->addWidget(zoneName[at(z)], z + 1, 0);
        zg->addWidget(zoneSet[at(z)], z + 1, 1);
        zg->addWidget(zoneMeasured[at(z)], z + 1, 2);
    }
    // The column follows the programme.
    zoneSet[0]->setVisible(false);

    auto* gasBox = new QGroupBox(QStringLiteral("Газы"), this);
    auto* gg = new QGridLayout(gasBox);
    gg->addWidget(new QLabel(QStringLiteral("Задано"), gasBox), 0, 1);
    auto* gasHead = new QLabel(QStringLiteral("Измерено"), gasBox);
    gasHead->setObjectName(QStringLiteral("measuredHead"));
    gg->addWidget(gasHead, 0, 2);
    for (int c = 0; c < 12; ++c) {
        gasName[at(c)] = new QLabel(gasBox);
        gasSet[at(c)] = number(gasBox, 0, 10000, 3);
        gasMeasured[at(c)] = measured(gasBox);
        gasSetup[at(c)] = new QPushButton(QStringLiteral("..."), gasBox);
        gasSetup[at(c)]->setMaximumWidth(28);
        gasSetup[at(c)]->setToolTip(QStringLiteral("Установки газа-носителя"));
        connect(gasSetup[at(c)], &QPushButton::clicked, this, [this, c] { editGas(c); });
        gg->addWidget(gasName[at(c)], c + 1, 0);
        gg->addWidget(gasSet[at(c)], c + 1, 1);
        gg->addWidget(gasMeasured[at(c)], c + 1, 2);
        gg->addWidget(gasSetup[at(c)], c + 1, 3);
    }

    cooling = new QPushButton(QStringLiteral("Охлаждение"), this);
    stopProgramme = new QPushButton(QStringLiteral("Прервать темп. прогр."), this);
    auto* left = new QVBoxLayout;
    left->addWidget(programmeBox);
    left->addWidget(zonesBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cooling);
    buttons->addWidget(stopProgramme);
    buttons->addStretch();
    left->addLayout(buttons);
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(gasBox, 0, Qt::AlignTop);
    updateProgrammeTime();
}

QString DlgKalderCm::programmeTimeText() const {
    return programmeTime->text();
}

void DlgKalderCm::updateProgrammeTime() {
    KalderSheetData d;
    store(d);
    programmeTime->setText(QString::asprintf("Время программы: %.2f мин", d.block.programTime()));
}

void DlgKalderCm::updateGasLabels() {
    for (int c = 0; c < 12; ++c) {
        const GasChannelSettings& g = gas_[at(c)];
        const int m = g.mode;
        gasName[at(c)]->setText(QStringLiteral("%1 (%2), %3")
                                    .arg(gasChannelTitle(c), gasTypes().value(g.gasType),
                                         QString::fromUtf8(gasModeUnit(m))));
        // The programme drives modes 3-5: their set value is the programme's.
        gasSet[at(c)]->setEnabled(m < 3 || m > 5);
    }
}

void DlgKalderCm::editGas(int c) {
    CGasChannelDlg dlg(c, gas_[at(c)], this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    gas_[at(c)] = dlg.values();
    updateGasLabels();
}

void DlgKalderCm::load(const KalderSheetData& d) {
    const MethodKalderSettings& b = d.block;
    for (int i = 0; i < 5; ++i) {
        temperature[at(i)]->setValue(b.programTemperature[at(i)]);
        isotherm[at(i)]->setValue(b.programIsotherm[at(i)]);
    }
    for (int i = 0; i < 4; ++i)
        rate[at(i)]->setValue(b.programRate[at(i)]);
    for (int z = 0; z < 8; ++z) {
        zoneCode_[at(z)] = b.zoneNameCode[at(z)];
        zoneName[at(z)]->setText(zoneLabel(z, b.zoneNameCode[at(z)]));
        zoneSet[at(z)]->setValue(b.zoneTemperature[at(z)]);
    }
    gas_ = b.gasChannels;
    for (int c = 0; c < 12; ++c)
        gasSet[at(c)]->setValue(b.gasSetValue[at(c)]);
    updateGasLabels();
    updateProgrammeTime();
}

void DlgKalderCm::store(KalderSheetData& d) const {
    MethodKalderSettings& b = d.block;
    for (int i = 0; i < 5; ++i) {
        b.programTemperature[at(i)] = static_cast<float>(temperature[at(i)]->value());
        b.programIsotherm[at(i)] = static_cast<float>(isotherm[at(i)]->value());
    }
    for (int i = 0; i < 4; ++i)
        b.programRate[at(i)] = static_cast<float>(rate[at(i)]->value());
    for (int z = 0; z < 8; ++z) {
        b.zoneNameCode[at(z)] = zoneCode_[at(z)];
        if (z > 0)
            b.zoneTemperature[at(z)] = static_cast<float>(zoneSet[at(z)]->value());
    }
    b.gasChannels = gas_;
    for (int c = 0; c < 12; ++c) {
        const int m = gas_[at(c)].mode;
        b.gasSetValue[at(c)] =
            m >= 3 && m <= 5 ? gas_[at(c)].pressure[0] : static_cast<float>(gasSet[at(c)]->value());
    }
}

void DlgKalderCm::showLive(CKalderInstrument* device) {
    const bool live = device != nullptr && device->isRunning();
    cooling->setEnabled(live);
    stopProgramme->setEnabled(live);
    if (!live)
        return;
    const KalderLiveValues v = device->live();
    for (int z = 0; z < 8; ++z)
        zoneMeasured[at(z)]->setText(QString::asprintf("%.1f", double(v.zoneTemp[at(z)])));
    for (int c = 0; c < 12; ++c) {
        // What the channel's mode shows: flow, outlet pressure or the
        // velocity from it; "—" for a channel the instrument does not have.
        const std::optional<double> now =
            device->runStates().withGas(c, [](CGasChannel* g) -> std::optional<double> {
                if (g == nullptr)
                    return std::nullopt;
                return g->currentValue();
            });
        const int m = gas_[at(c)].mode;
        const char* format = m == 1 || m == 4 ? "%.3f" : "%.1f";
        gasMeasured[at(c)]->setText(now ? QString::asprintf(format, *now) : QStringLiteral("—"));
    }
}

// --- "Дополнительные" --------------------------------------------------------

DlgKalderDop::DlgKalderDop(QWidget* parent) : QWidget(parent) {
    auto* flameBox = new QGroupBox(QStringLiteral("Детекторы"), this);
    auto* fg = new QGridLayout(flameBox);
    ignitionAttempts = integer(flameBox, 0, 20);
    flameLevel = number(flameBox, -10000, 10000, 3);
    fg->addWidget(new QLabel(QStringLiteral("Попыток поджига"), flameBox), 0, 0);
    fg->addWidget(ignitionAttempts, 0, 1);
    fg->addWidget(new QLabel(QStringLiteral("Уровень пламени, мВ"), flameBox), 0, 2, 1, 2);
    fg->addWidget(flameLevel, 0, 4);
    fg->addWidget(new QLabel(QStringLiteral("U моста"), flameBox), 2, 0);
    fg->addWidget(new QLabel(QStringLiteral("Баланс"), flameBox), 3, 0);
    for (int d = 0; d < 4; ++d) {
        invert[at(d)] = new QCheckBox(QStringLiteral("Инверсия Дет%1").arg(d + 1), flameBox);
        bridge[at(d)] = number(flameBox, 0, 30, 2);
        // The range is wider than the allowed one so that the check before
        // applying names the fault instead of the box cutting it.
        balance[at(d)] = number(flameBox, -1000, 1000, 1);
        // One column per detector channel.
        fg->addWidget(invert[at(d)], 1, d + 1);
        fg->addWidget(bridge[at(d)], 2, d + 1);
        fg->addWidget(balance[at(d)], 3, d + 1);
    }

    auto* zonesBox = new QGroupBox(QStringLiteral("Контроль перегрева"), this);
    auto* zg = new QGridLayout(zonesBox);
    zg->addWidget(new QLabel(QStringLiteral("Макс., °C"), zonesBox), 0, 1);
    zg->addWidget(new QLabel(QStringLiteral("Допуск, °C"), zonesBox), 0, 2);
    for (int z = 0; z < 8; ++z) {
        zoneName[at(z)] = new QLabel(QStringLiteral("Зона %1").arg(z), zonesBox);
        zoneMax[at(z)] = number(zonesBox, 0, 1000, 1);
        zoneTolerance[at(z)] = number(zonesBox, 0, 100, 2);
        zg->addWidget(zoneName[at(z)], z + 1, 0);
        zg->addWidget(zoneMax[at(z)], z + 1, 1);
        zg->addWidget(zoneTolerance[at(z)], z + 1, 2);
    }

    auto* gasBox = new QGroupBox(QStringLiteral("Допуски газов"), this);
    auto* gg = new QGridLayout(gasBox);
    carrierTolerance = number(gasBox, 0, 1000, 2);
    hydrogenTolerance = number(gasBox, 0, 1000, 2);
    airTolerance = number(gasBox, 0, 1000, 2);
    pressureTolerance = number(gasBox, 0, 10, 3);
    gg->addWidget(new QLabel(QStringLiteral("Газ-носитель"), gasBox), 0, 0);
    gg->addWidget(carrierTolerance, 0, 1);
    gg->addWidget(new QLabel(QStringLiteral("Водород"), gasBox), 1, 0);
    gg->addWidget(hydrogenTolerance, 1, 1);
    gg->addWidget(new QLabel(QStringLiteral("Воздух"), gasBox), 2, 0);
    gg->addWidget(airTolerance, 2, 1);
    gg->addWidget(new QLabel(QStringLiteral("Давление"), gasBox), 3, 0);
    gg->addWidget(pressureTolerance, 3, 1);

    auto* auxBox = new QGroupBox(QStringLiteral("Дополнительные каналы записи"), this);
    auto* ag = new QGridLayout(auxBox);
    QStringList selectors;
    for (int s = 0; s <= 88; ++s)
        selectors << auxSelectorText(s);
    for (int a = 0; a < 4; ++a) {
        aux[at(a)] = combo(auxBox, selectors);
        ag->addWidget(new QLabel(QStringLiteral("%1.").arg(a + 5), auxBox), a, 0);
        ag->addWidget(aux[at(a)], a, 1);
    }

    auto* buttonsBox = new QGroupBox(QStringLiteral("Кнопки"), this);
    auto* bg = new QGridLayout(buttonsBox);
    QStringList functions;
    for (int f = 0; f <= 17; ++f)
        functions << buttonFunctionText(f);
    for (int k = 0; k < 2; ++k) {
        button[at(k)] = combo(buttonsBox, functions);
        bg->addWidget(new QLabel(QStringLiteral("Кнопка %1").arg(k + 1), buttonsBox), k, 0);
        bg->addWidget(button[at(k)], k, 1);
    }

    readinessDelay = integer(this, 0, 3600);
    silent = new QCheckBox(QStringLiteral("Тихий режим"), this);
    closeFlap = new QCheckBox(QStringLiteral("Закрыть заслонку"), this);
    noWait = new QCheckBox(QStringLiteral("Не ожидать завершения температ. программы"), this);
    columnBelowDetector = new QCheckBox(QStringLiteral("Tкол < Tдет"), this);
    startAll = new QCheckBox(QStringLiteral("Запуск каналов"), this);
    startAll->setToolTip(QStringLiteral("Запуск записи запускает все каналы прибора"));
    autosampler = new QCheckBox(QStringLiteral("Автодозатор Pelvio"), this);
    composition = new QLineEdit(this);
    composition->setReadOnly(true);

    auto* switches = new QGridLayout;
    switches->addWidget(new QLabel(QStringLiteral("Задержка перед готовностью, сек"), this), 0, 0);
    switches->addWidget(readinessDelay, 0, 1);
    switches->addWidget(silent, 1, 0);
    switches->addWidget(closeFlap, 1, 1);
    switches->addWidget(noWait, 2, 0, 1, 2);
    switches->addWidget(columnBelowDetector, 3, 0);
    switches->addWidget(startAll, 3, 1);
    switches->addWidget(autosampler, 4, 0);
    switches->addWidget(new QLabel(QStringLiteral("Состав прибора"), this), 5, 0);
    switches->addWidget(composition, 5, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(gasBox);
    right->addWidget(auxBox);
    right->addWidget(buttonsBox);
    right->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(flameBox);
    left->addWidget(zonesBox);
    left->addLayout(switches);
    left->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);
}

void DlgKalderDop::load(const KalderSheetData& d) {
    const MethodKalderSettings& b = d.block;
    ignitionAttempts->setValue(b.ignitionAttempts);
    flameLevel->setValue(b.flameLevel);
    for (int i = 0; i < 4; ++i) {
        invert[at(i)]->setChecked(b.invertDetector[at(i)] != 0);
        bridge[at(i)]->setValue(b.bridgeVoltage[at(i)]);
        balance[at(i)]->setValue(b.balance[at(i)]);
        choose(aux[at(i)], d.auxSelector[at(i)]);
    }
    for (int z = 0; z < 8; ++z) {
        zoneName[at(z)]->setText(zoneLabel(z, b.zoneNameCode[at(z)]));
        zoneMax[at(z)]->setValue(b.zoneMaximum[at(z)]);
        zoneTolerance[at(z)]->setValue(b.zoneTolerance[at(z)]);
    }
    carrierTolerance->setValue(b.carrierTolerance);
    hydrogenTolerance->setValue(b.hydrogenTolerance);
    airTolerance->setValue(b.airTolerance);
    pressureTolerance->setValue(b.pressureTolerance);
    for (int k = 0; k < 2; ++k)
        choose(button[at(k)], b.buttonFunction[at(k)]);
    readinessDelay->setValue(b.readinessDelaySeconds);
    silent->setChecked(b.silentMode != 0);
    closeFlap->setChecked(b.closeFlap != 0);
    noWait->setChecked(d.noWaitProgramme);
    columnBelowDetector->setChecked(b.columnBelowDetector != 0);
    startAll->setChecked(d.startsAllChannels);
    autosampler->setChecked(b.autosamplerInUse != 0);
}

void DlgKalderDop::store(KalderSheetData& d) const {
    MethodKalderSettings& b = d.block;
    b.ignitionAttempts = ignitionAttempts->value();
    b.flameLevel = static_cast<float>(flameLevel->value());
    for (int i = 0; i < 4; ++i) {
        b.invertDetector[at(i)] = invert[at(i)]->isChecked() ? 1 : 0;
        b.bridgeVoltage[at(i)] = static_cast<float>(bridge[at(i)]->value());
        b.balance[at(i)] = static_cast<float>(balance[at(i)]->value());
        d.auxSelector[at(i)] = aux[at(i)]->currentIndex();
    }
    for (int z = 0; z < 8; ++z) {
        b.zoneMaximum[at(z)] = static_cast<float>(zoneMax[at(z)]->value());
        b.zoneTolerance[at(z)] = static_cast<float>(zoneTolerance[at(z)]->value());
    }
    b.carrierTolerance = static_cast<float>(carrierTolerance->value());
    b.hydrogenTolerance = static_cast<float>(hydrogenTolerance->value());
    b.airTolerance = static_cast<float>(airTolerance->value());
    b.pressureTolerance = static_cast<float>(pressureTolerance->value());
    for (int k = 0; k < 2; ++k)
        b.buttonFunction[at(k)] = button[at(k)]->currentIndex();
    b.readinessDelaySeconds = readinessDelay->value();
    b.silentMode = silent->isChecked() ? 1 : 0;
    b.closeFlap = closeFlap->isChecked() ? 1 : 0;
    d.noWaitProgramme = noWait->isChecked();
    b.columnBelowDetector = columnBelowDetector->isChecked() ? 1 : 0;
    d.startsAllChannels = startAll->isChecked();
    b.autosamplerInUse = autosampler->isChecked() ? 1 : 0;
}

// --- "Контроль" -------------------------------------------------------------

DlgKalderMon::DlgKalderMon(QWidget* parent) : QWidget(parent) {
    auto* top = new QGridLayout;
    mains = measured(this);
    flap = measured(this);
    flame = measured(this);
    buttons = measured(this);
    buttons->setMinimumWidth(140);
    top->addWidget(new QLabel(QStringLiteral("Сеть, В"), this), 0, 0);
    top->addWidget(mains, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("Заслонка, %"), this), 1, 0);
    top->addWidget(flap, 1, 1);
    top->addWidget(new QLabel(QStringLiteral("Пламя, мВ"), this), 2, 0);
    top->addWidget(flame, 2, 1);
    top->addWidget(new QLabel(QStringLiteral("Кнопки"), this), 3, 0);
    top->addWidget(buttons, 3, 1);
    for (int c = 0; c < 4; ++c) {
        signal[at(c)] = measured(this);
        top->addWidget(new QLabel(QStringLiteral("Сигнал канала %1, мВ").arg(c + 1), this), c, 2);
        top->addWidget(signal[at(c)], c, 3);
    }
    top->setColumnStretch(4, 1);

    gases = new QTableWidget(12, 4, this);
    gases->setHorizontalHeaderLabels({QStringLiteral("Расход, см3/мин"), QStringLiteral("Vкл, В"),
                                      QStringLiteral("Pвх, кгс/см2"),
                                      QStringLiteral("Pвых, кгс/см2")});
    QStringList rows;
    for (int c = 0; c < 12; ++c)
        rows << gasChannelTitle(c);
    gases->setVerticalHeaderLabels(rows);
    gases->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gases->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    gases->verticalHeader()->setDefaultSectionSize(gases->fontMetrics().height() + 6);
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 4; ++c)
            gases->setItem(r, c, new QTableWidgetItem(QStringLiteral("—")));

    plugAndPlay = new QPushButton(QStringLiteral("Plug && Play"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(gases);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(plugAndPlay);
    layout->addLayout(row);
}

void DlgKalderMon::showLive(const CKalderInstrument* device) {
    const bool live = device != nullptr && device->isRunning();
    plugAndPlay->setEnabled(live);
    if (!live)
        return;
    const KalderLiveValues v = device->live();
    mains->setText(QString::asprintf("%.1f", v.mainsVolts));
    flap->setText(QString::asprintf("%.1f", v.flapPercent));
    // The flame is read on the channel of the first flame amplifier; the
    // detector channels follow the detector modules in composition order.
    int channel = 0, flameChannel = -1;
    for (const KalderModule& m : device->modules()) {
        const int cls = kalder::moduleClass(m.address);
        if (!kalder::isDetectorClass(cls))
            continue;
        if (cls == kalder::kClassFlame && flameChannel < 0)
            flameChannel = channel;
        ++channel;
    }
    flame->setText(flameChannel >= 0 && flameChannel < 4
                       ? QString::asprintf("%.3f", double(v.detectorRaw[at(flameChannel)]))
                       : QStringLiteral("—"));
    auto state = [&](int b) {
        return (v.buttons >> b) & 1 ? QStringLiteral("нажата") : QStringLiteral("отпущена");
    };
    buttons->setText(QStringLiteral("1: %1, 2: %2").arg(state(0), state(1)));
    for (int c = 0; c < 4; ++c)
        signal[at(c)]->setText(QString::asprintf("%.3f", double(v.detectorRaw[at(c)])));
    for (int r = 0; r < 12; ++r) {
        const double values[4] = {v.flow[at(r)], v.valveVolts[at(r)], v.inletPressure[at(r)],
                                  v.outletPressure[at(r)]};
        static const char* const kFormats[4] = {"%.1f", "%.1f", "%.3f", "%.3f"};
        for (int c = 0; c < 4; ++c)
            gases->item(r, c)->setText(QString::asprintf(kFormats[c], values[c]));
    }
}

// --- "Краны/Т.Зоны" ---------------------------------------------------------

DlgKalderKran::DlgKalderKran(QWidget* parent) : QWidget(parent) {
    auto* valvesBox = new QGroupBox(QStringLiteral("Краны"), this);
    auto* vg = new QGridLayout(valvesBox);
    const QStringList heads = {QStringLiteral("Режим"), QStringLiteral("Начальное положение"),
                               QStringLiteral("время1, мин"), QStringLiteral("время2, мин"),
                               QStringLiteral("Запускать синхронно с каналом")};
    for (int h = 0; h < heads.size(); ++h)
        vg->addWidget(new QLabel(heads[h], valvesBox), 0, h + 1);
    for (int v = 0; v < 4; ++v) {
        mode[at(v)] =
            combo(valvesBox, {QStringLiteral("Кран-дозатор"), QStringLiteral("Перекл. кран")});
        initial[at(v)] = combo(valvesBox, {QStringLiteral("1"), QStringLiteral("2")});
        time1[at(v)] = number(valvesBox, 0, 10000, 2);
        time2[at(v)] = number(valvesBox, 0, 10000, 2);
        channel[at(v)] = combo(valvesBox, {QStringLiteral("канал 1"), QStringLiteral("канал 2"),
                                           QStringLiteral("канал 3"), QStringLiteral("канал 4")});
        vg->addWidget(new QLabel(QStringLiteral("Кран %1").arg(v + 1), valvesBox), v + 1, 0);
        vg->addWidget(mode[at(v)], v + 1, 1);
        vg->addWidget(initial[at(v)], v + 1, 2);
        vg->addWidget(time1[at(v)], v + 1, 3);
        vg->addWidget(time2[at(v)], v + 1, 4);
        vg->addWidget(channel[at(v)], v + 1, 5);
    }
    auto* zonesBox = new QGroupBox(QStringLiteral("Зоны нагрева кранов"), this);
    auto* zg = new QGridLayout(zonesBox);
    zg->addWidget(new QLabel(QStringLiteral("Задано, °C"), zonesBox), 0, 1);
    zg->addWidget(new QLabel(QStringLiteral("Защита, °C"), zonesBox), 0, 2);
    zg->addWidget(new QLabel(QStringLiteral("Допуск, °C"), zonesBox), 0, 3);
    for (int z = 0; z < 4; ++z) {
        zoneSet[at(z)] = number(zonesBox, 0, 500, 1);
        zoneMax[at(z)] = number(zonesBox, 0, 1000, 1);
        zoneTolerance[at(z)] = number(zonesBox, 0, 100, 2);
        zg->addWidget(new QLabel(QStringLiteral("Зона %1").arg(z + 5), zonesBox), z + 1, 0);
        zg->addWidget(zoneSet[at(z)], z + 1, 1);
        zg->addWidget(zoneMax[at(z)], z + 1, 2);
        zg->addWidget(zoneTolerance[at(z)], z + 1, 3);
    }
    zg->setColumnStretch(4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(valvesBox);
    layout->addWidget(zonesBox);
    layout->addStretch();
}

void DlgKalderKran::load(const KalderSheetData& d) {
    for (int v = 0; v < 4; ++v) {
        const ValveSettings& s = d.block.valves[at(v)];
        choose(mode[at(v)], s.mode);
        choose(initial[at(v)], s.initialState);
        time1[at(v)]->setValue(s.time1);
        time2[at(v)]->setValue(s.time2);
        choose(channel[at(v)], s.channel);
    }
    for (int z = 0; z < 4; ++z) {
        const AdditionalZoneSettings& s = d.block.additionalZones[at(z)];
        zoneSet[at(z)]->setValue(s.setTemperature);
        zoneMax[at(z)]->setValue(s.maximum);
        zoneTolerance[at(z)]->setValue(s.tolerance);
    }
}

void DlgKalderKran::store(KalderSheetData& d) const {
    for (int v = 0; v < 4; ++v) {
        ValveSettings& s = d.block.valves[at(v)];
        s.mode = mode[at(v)]->currentIndex();
        s.initialState = initial[at(v)]->currentIndex();
        s.time1 = time1[at(v)]->value();
        s.time2 = time2[at(v)]->value();
        s.channel = channel[at(v)]->currentIndex();
    }
    for (int z = 0; z < 4; ++z) {
        AdditionalZoneSettings& s = d.block.additionalZones[at(z)];
        s.setTemperature = static_cast<float>(zoneSet[at(z)]->value());
        s.maximum = static_cast<float>(zoneMax[at(z)]->value());
        s.tolerance = static_cast<float>(zoneTolerance[at(z)]->value());
    }
}

// --- "Pelvio" ---------------------------------------------------------------

DlgKalderPelvio::DlgKalderPelvio(QWidget* parent) : QWidget(parent) {
    firstVial = integer(this, 1, 1000);
    lastVial = integer(this, 1, 1000);
    injections = integer(this, 1, 100);
    pumpings = integer(this, 0, 100);
    washing = integer(this, 0, 1000);
    aspiration = integer(this, 1, 1000);
    injectionSpeed = integer(this, 1, 1000);
    injectionTime = integer(this, 0, 1000);
    volume = number(this, 0, 1000, 1);
    QStringList ports;
    for (int p = 0; p < 12; ++p)
        ports << QStringLiteral("COM%1").arg(p + 1);
    port = combo(this, ports);
    channel = combo(this, {QStringLiteral("канал 1"), QStringLiteral("канал 2")});
    auto* g = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {
        {"Первая виала", firstVial},
        {"Последняя виала", lastVial},
        {"Вводов из виалы", injections},
        {"Прокачек", pumpings},
        {"Промывка сверху, с", washing},
        {"Скорость набора, мкл/с", aspiration},
        {"Скорость ввода, мкл/с", injectionSpeed},
        {"Время ввода, с", injectionTime},
        {"Объём пробы, мкл", volume},
        {"Порт", port},
        {"Канал хроматографа", channel},
    };
    int r = 0;
    for (const auto& [label, w] : rows) {
        g->addWidget(new QLabel(QString::fromUtf8(label), this), r, 0);
        g->addWidget(w, r++, 1);
    }
    g->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addStretch();
}

void DlgKalderPelvio::load(const KalderSheetData& d) {
    const AutosamplerSettings& a = d.block.autosampler;
    firstVial->setValue(a.firstVial);
    lastVial->setValue(a.lastVial);
    injections->setValue(a.injectionsPerVial);
    pumpings->setValue(a.pumpings);
    washing->setValue(a.washingFromAboveSeconds);
    aspiration->setValue(a.aspirationSpeed);
    injectionSpeed->setValue(a.injectionSpeed);
    injectionTime->setValue(a.injectionTimeSeconds);
    volume->setValue(a.sampleVolume);
    choose(port, a.port);
    choose(channel, a.channel);
}

void DlgKalderPelvio::store(KalderSheetData& d) const {
    AutosamplerSettings& a = d.block.autosampler;
    a.firstVial = firstVial->value();
    a.lastVial = lastVial->value();
    a.injectionsPerVial = injections->value();
    a.pumpings = pumpings->value();
    a.washingFromAboveSeconds = washing->value();
    a.aspirationSpeed = aspiration->value();
    a.injectionSpeed = injectionSpeed->value();
    a.injectionTimeSeconds = injectionTime->value();
    a.sampleVolume = static_cast<float>(volume->value());
    a.port = port->currentIndex();
    a.channel = channel->currentIndex();
}

// --- "Наладка" and "Ошибки" --------------------------------------------------

DlgKalderRegulator::DlgKalderRegulator(int accessLevel, QWidget* parent)
    : QWidget(parent), accessLevel_(accessLevel) {
    modules = new QTableWidget(0, 3, this);
    modules->setHorizontalHeaderLabels(
        {QStringLiteral("Модуль"), QStringLiteral("Адрес"), QStringLiteral("Слово")});
    modules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    modules->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    report = new QPlainTextEdit(this);
    report->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Состав прибора"), this));
    layout->addWidget(modules);
    layout->addWidget(new QLabel(QStringLiteral("Обмен параметрами"), this));
    layout->addWidget(report);
}

void DlgKalderRegulator::showLive(const CKalderInstrument* device) {
    if (device == nullptr || !device->isRunning())
        return;
    const std::vector<KalderModule> list = device->modules();
    if (modules->rowCount() != static_cast<int>(list.size())) {
        modules->setRowCount(static_cast<int>(list.size()));
        for (int r = 0; r < modules->rowCount(); ++r) {
            const KalderModule& m = list[at(r)];
            modules->setItem(r, 0, new QTableWidgetItem(q(kalder::moduleLongName(m.address))));
            modules->setItem(r, 1, new QTableWidgetItem(QString::number(m.address)));
            modules->setItem(r, 2, new QTableWidgetItem(QString::asprintf("%08x", m.word)));
        }
    }
    const QString text = q(device->paramStatistics(accessLevel_) + device->notAnsweringModules());
    if (report->toPlainText() != text)
        report->setPlainText(text);
}

DlgKalderErr::DlgKalderErr(QWidget* parent) : QWidget(parent) {
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    reset = new QPushButton(QStringLiteral("Сброс ошибок"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(reset);
    layout->addLayout(row);
}

void DlgKalderErr::showLive(CKalderInstrument* device) {
    reset->setEnabled(device != nullptr);
    if (device == nullptr)
        return;
    const QString t = q(device->alarms().hasAlarms() ? device->alarms().stopReasonText()
                                                     : std::string("Ошибок нет."));
    if (text->toPlainText() != t)
        text->setPlainText(t);
}

// --- the sheet ---------------------------------------------------------------

CZelmoraKalderSettings::CZelmoraKalderSettings(CKalderInstrument* device, int accessLevel,
                                               QWidget* parent)
    : CPropertySheetMy(QStringLiteral("Установки хроматографа"), device != nullptr, parent),
      device_(device),
      accessLevel_(accessLevel) {
    cm_ = new DlgKalderCm(this);
    dop_ = new DlgKalderDop(this);
    kran_ = new DlgKalderKran(this);
    pelvio_ = new DlgKalderPelvio(this);
    tabs()->addTab(cm_, QStringLiteral("Общие"));
    tabs()->addTab(dop_, QStringLiteral("Дополнительные"));
    if (device_ != nullptr) {
        mon_ = new DlgKalderMon(this);
        tabs()->addTab(mon_, QStringLiteral("Контроль"));
    }
    tabs()->addTab(kran_, QStringLiteral("Краны/Т.Зоны"));
    tabs()->addTab(pelvio_, QStringLiteral("Pelvio"));
    if (device_ != nullptr) {
        if (accessLevel_ > 3) {
            regulator_ = new DlgKalderRegulator(accessLevel_, this);
            tabs()->addTab(regulator_, QStringLiteral("Наладка"));
        }
        err_ = new DlgKalderErr(this);
        tabs()->addTab(err_, QStringLiteral("Ошибки"));
    } else {
        // A method's block: nothing to apply to, nothing measured.
        applyButton()->setVisible(false);
        cm_->cooling->setVisible(false);
        cm_->stopProgramme->setVisible(false);
        for (QLabel* l : cm_->zoneMeasured)
            l->setVisible(false);
        for (QLabel* l : cm_->gasMeasured)
            l->setVisible(false);
        for (QLabel* l : cm_->findChildren<QLabel*>(QStringLiteral("measuredHead")))
            l->setVisible(false);
    }
    // The beginner may neither reset the instrument's alarms nor rebuild its
    // composition.
    if (accessLevel_ == 0) {
        if (mon_)
            mon_->plugAndPlay->setVisible(false);
        if (err_)
            err_->reset->setVisible(false);
    }

    if (device_ != nullptr) {
        connect(cm_->cooling, &QPushButton::clicked, this,
                [this] { device_->runStates().setCooling(true); });
        connect(cm_->stopProgramme, &QPushButton::clicked, this,
                [this] { device_->runStates().setRunState(run_state::kPreparing); });
        connect(mon_->plugAndPlay, &QPushButton::clicked, this,
                [this] { runPlugAndPlayDialog(*device_, this); });
        connect(err_->reset, &QPushButton::clicked, this, [this] {
            device_->alarms().reset();
            refreshLive();
        });
        timer_ = new QTimer(this);
        timer_->setInterval(kLiveMs);
        connect(timer_, &QTimer::timeout, this, &CZelmoraKalderSettings::refreshLive);
        timer_->start();
        LoadFromDevice();
    } else {
        setValues(data_);
    }
    updateTitle();
    refreshLive();
}

void CZelmoraKalderSettings::updateTitle() {
    QString title = caption();
    if (device_ != nullptr) {
        const std::string method = device_->lastLoadMethod();
        title += method.empty() ? QStringLiteral("  (прибор %1)").arg(device_->deviceIndex() + 1)
                                : QStringLiteral("  (прибор %1) метод:%2")
                                      .arg(device_->deviceIndex() + 1)
                                      .arg(q(method));
    }
    setWindowTitle(title);
}

KalderSheetData CZelmoraKalderSettings::values() const {
    KalderSheetData d = data_;
    cm_->store(d);
    dop_->store(d);
    kran_->store(d);
    pelvio_->store(d);
    return d;
}

void CZelmoraKalderSettings::setValues(const KalderSheetData& d) {
    data_ = d;
    cm_->load(d);
    dop_->load(d);
    kran_->load(d);
    pelvio_->load(d);
}

void CZelmoraKalderSettings::LoadFromDevice() {
    if (device_ == nullptr)
        return;
    setValues(kalderSettingsFromDevice(*device_));
    if (device_->compositionKnown())
        dop_->composition->setText(q(device_->compositionText()));
    changed_ = false;
}

Status CZelmoraKalderSettings::ApplyToDevice() {
    if (device_ == nullptr)
        return {};
    data_ = values();
    return applyKalderSettings(*device_, data_, accessLevel_);
}

void CZelmoraKalderSettings::CopyFrom(const CZelmoraKalderSettings& other) {
    const KalderSheetData theirs = other.values();
    KalderSheetData mine = values();
    mine.block = theirs.block;
    setValues(mine);
    changed_ = true;
}

std::array<bool, 8> CZelmoraKalderSettings::zonesPresent() const {
    std::array<bool, 8> present{};
    if (device_ != nullptr)
        for (int z = 0; z < 8; ++z)
            present[at(z)] = device_->runStates().zonePresent(z);
    return present;
}

bool CZelmoraKalderSettings::apply() {
    const KalderSheetData d = values();
    if (const auto why = checkKalderSettings(d.block, zonesPresent())) {
        warn(this, q(*why));
        return false;
    }
    if (device_ == nullptr) {
        data_ = d;
        return true;
    }
    bool restart = false;
    if (device_->isRunning()) {
        const int state = device_->runState();
        if (state >= run_state::kAnalysis && state <= run_state::kAnalysisEnd) {
            MessageRequest r;
            r.parent = this;
            r.icon = QMessageBox::Warning;
            r.caption = QString::fromUtf8(kWarning);
            r.text = QStringLiteral(
                "Изменены параметры прибора.\r\nПродолжить выполнение температурной "
                "программы\r\nпосле применения новых установок прибора?");
            r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            const auto answer = showMessage(r);
            if (answer == QMessageBox::Cancel)
                return false;
            restart = answer == QMessageBox::No;
        } else {
            restart = true;
        }
    }
    const Status applied = ApplyToDevice();
    if (restart)
        device_->runStates().setRunState(run_state::kPreparing);
    if (!applied.ok()) {
        // The zone names of the instrument and of the settings differ: the
        // "Общие" page was not applied.
        warn(this, q(applied.message()), QMessageBox::Warning);
        return false;
    }
    changed_ = false;
    return true;
}

bool CZelmoraKalderSettings::onApply() {
    return apply();
}

bool CZelmoraKalderSettings::copyFromMethod(const std::string& methodName) {
    CMethodSheet probe;
    if (Status s = probe.ReadMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    if (!probe.hasKalderSettings()) {
        warn(this, QStringLiteral("Метод не содержит настроек пибора"));
        return false;
    }
    // Fields an older method lacks keep what the sheet holds.
    KalderSheetData d = values();
    CMethodSheet sheet;
    sheet.method().kalder = d.block;
    if (Status s = sheet.ReadMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    d.block = *sheet.method().kalder;
    setValues(d);
    changed_ = true;
    return true;
}

bool CZelmoraKalderSettings::copyToMethod(const std::string& methodName) {
    const int level = programOptions().accessLevel;
    if (level <= 0) {
        warn(this, QStringLiteral(
                       "Ваш уровень доступа \"Начинающий\" не позволяет вам записывать в метод"));
        return false;
    }
    if (level == 1) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.caption = QString::fromUtf8(kWarning);
        r.text = QStringLiteral("Вы действительно хотите изменить метод?");
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        if (showMessage(r) != QMessageBox::Yes)
            return false;
    }
    // The method is rewritten only when it was read whole: a method that is
    // missing or damaged would lose everything but the instrument block.
    std::error_code ec;
    if (!isValidMethodName(methodName) ||
        !std::filesystem::is_regular_file(methodFilePath(methodName), ec)) {
        warn(this, QStringLiteral("Метод \"%1\" не найден. Установки прибора в метод не записаны.")
                       .arg(q(methodName)));
        return false;
    }
    CMethodSheet sheet;
    if (Status s = sheet.ReadMethod(methodName); !s.ok()) {
        warn(this, QStringLiteral("Не удалось прочитать метод \"%1\".\nУстановки прибора в метод "
                                  "не записаны.\n\n%2")
                       .arg(q(methodName), q(s.message())));
        return false;
    }
    sheet.method().kalder = values().block;
    SheetPrompts prompts(this);
    sheet.setPrompts(&prompts);
    if (Status s = sheet.WriteMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    return true;
}

void CZelmoraKalderSettings::onToMethod() {
    const auto name = chooseMethod(this, device_ ? device_->lastLoadMethod() : std::string());
    if (name && !name->empty())
        copyToMethod(*name);
}

void CZelmoraKalderSettings::onFromMethod() {
    const auto name = chooseMethod(this, device_ ? device_->lastLoadMethod() : std::string());
    if (name && !name->empty())
        copyFromMethod(*name);
}

void CZelmoraKalderSettings::refreshLive() {
    cm_->showLive(device_);
    if (mon_)
        mon_->showLive(device_);
    if (regulator_)
        regulator_->showLive(device_);
    if (err_)
        err_->showLive(device_);
}

bool editMethodKalderSettings(MethodKalderSettings& block, QWidget* parent) {
    CZelmoraKalderSettings sheet(nullptr, programOptions().accessLevel, parent);
    KalderSheetData d;
    d.block = block;
    sheet.setValues(d);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    const MethodKalderSettings edited = sheet.values().block;
    if (edited == block)
        return false;
    block = edited;
    return true;
}

}  // namespace zelmora::gui
