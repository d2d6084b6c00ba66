#include "gui/app/programm_setup_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/paths.h"
#include "gui/app/access_level_dialog.h"
#include "gui/calc/oil_gas_names_dlg.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

CProgrammSetupSheet::CProgrammSetupSheet(const ProgramOptions& options, Hooks hooks,
                                         QWidget* parent)
    : QDialog(parent),
      options_(options),
      hooks_(std::move(hooks)),
      currentLevel_(options.accessLevel) {
    // The questions go through the program's message boxes, which tests
    // and the unattended close can answer.
    if (!hooks_.askYesNo) {
        hooks_.askYesNo = [this](const QString& text) {
            MessageRequest r;
            r.parent = this;
            r.icon = QMessageBox::Warning;
            r.text = text;
            r.buttons = QMessageBox::Yes | QMessageBox::No;
            return showMessage(r) == QMessageBox::Yes;
        };
    }
    if (!hooks_.warn) {
        hooks_.warn = [this](const QString& text) {
            MessageRequest r;
            r.parent = this;
            r.icon = QMessageBox::Warning;
            r.text = text;
            showMessage(r);
        };
    }
    if (!hooks_.askPassword) {
        hooks_.askPassword = [this](int level) {
            CAccessLevelDialog dlg(level, this);
            return dlg.exec() == QDialog::Accepted;
        };
    }
    if (!hooks_.chooseFolder) {
        hooks_.chooseFolder = [this](const QString& title, const QString& start) {
            return QFileDialog::getExistingDirectory(this, title, start);
        };
    }
    if (!hooks_.editOilGases) {
        hooks_.editOilGases = [this](const std::array<OilGas, 7>& gases) {
            return editOilGases(gases, this);
        };
    }
    setWindowTitle(QStringLiteral("Опции"));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(buildViewPage(), QStringLiteral("Отображение и Просмотр"));
    tabs_->addTab(buildAlarmPage(), QStringLiteral("Предупреждения"));
    tabs_->addTab(buildAutoPage(), QStringLiteral("Автоматизация"));
    tabs_->addTab(buildPathPage(), QStringLiteral("Пути"));
    tabs_->addTab(buildOtherPage(), QStringLiteral("Другое..."));
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        applyOkRules();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateEnabling();
}

QCheckBox* CProgrammSetupSheet::check(QWidget* parent, const char* text, bool value) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setChecked(value);
    connect(box, &QCheckBox::toggled, this, &CProgrammSetupSheet::updateEnabling);
    return box;
}

QButtonGroup* CProgrammSetupSheet::radios(QWidget* page, QBoxLayout* layout, const QString& title,
                                          const QStringList& labels, int value) {
    auto* box = new QGroupBox(title, page);
    auto* inner = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (int i = 0; i < labels.size(); ++i) {
        auto* r = new QRadioButton(labels[i], box);
        group->addButton(r, i);
        inner->addWidget(r);
        if (i == value)
            r->setChecked(true);
    }
    layout->addWidget(box);
    return group;
}

QWidget* CProgrammSetupSheet::buildViewPage() {
    auto* page = new QWidget(this);
    auto* outer = new QVBoxLayout(page);
    auto* columns = new QHBoxLayout();
    auto* layout = new QVBoxLayout();
    auto* right = new QVBoxLayout();
    columns->addLayout(layout);
    columns->addLayout(right);
    outer->addLayout(columns);
    auto* labels = new QGroupBox(QStringLiteral("Подписи пиков"), page);
    auto* ll = new QVBoxLayout(labels);
    nameNumber_ = check(labels, "Номер", options_.nameNumber);
    nameName_ = check(labels, "Название", options_.nameName);
    nameTime_ = check(labels, "Время выхода", options_.nameTime);
    ll->addWidget(nameNumber_);
    ll->addWidget(nameName_);
    ll->addWidget(nameTime_);
    layout->addWidget(labels);
    direction_ = radios(page, layout, QStringLiteral("Направление подписей"),
                        {QStringLiteral("Горизонтально"), QStringLiteral("Вертикально")},
                        options_.direction);
    auto* digits = new QGroupBox(QStringLiteral("Знаков после запятой"), page);
    auto* form = new QFormLayout(digits);
    auto spin = [&](int v) {
        auto* s = new QSpinBox(digits);
        s->setRange(0, 15);
        s->setValue(v);
        return s;
    };
    digitsC_ = spin(options_.numZnakovC);
    digitsH_ = spin(options_.numZnakovH);
    digitsS_ = spin(options_.numZnakovS);
    form->addRow(QStringLiteral("Концентрации"), digitsC_);
    form->addRow(QStringLiteral("Высоты"), digitsH_);
    form->addRow(QStringLiteral("Площади"), digitsS_);
    layout->addWidget(digits);
    layout->addStretch();
    floatType_ =
        radios(page, right, QStringLiteral("Форма чисел"),
               {QStringLiteral("выбирать автоматически"), QStringLiteral("с плавающей точкой"),
                QStringLiteral("в экспоненциальной форме")},
               options_.floatType);
    markPeek_ =
        radios(page, right, QStringLiteral("Разметка пиков"),
               {QStringLiteral("Верт. линией"), QStringLiteral("Отрезком")}, options_.markPeek);
    normSec_ =
        radios(page, right, QStringLiteral("Время"),
               {QStringLiteral("в минутах"), QStringLiteral("в секундах")}, options_.normSec);
    peekWindow_ =
        check(page, "Показывать на хроматограмме окна выхода пиков из метода", options_.peekWindow);
    viewGroup_ = check(page, "Показывать группы", options_.viewGroup);
    noViewGroupCalib_ = check(page, "Не показывать группы в калибровочной хроматограмме",
                              options_.noViewGroupCalib);
    right->addStretch();
    outer->addWidget(peekWindow_);
    outer->addWidget(viewGroup_);
    outer->addWidget(noViewGroupCalib_);
    outer->addStretch();
    return page;
}

QWidget* CProgrammSetupSheet::buildAlarmPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    confirmDisconnect_ =
        check(page, "Предупреждать об отключении приборов", options_.confirmDisconnect);
    disconect2_ = check(page, "Предупреждать об остановке записи", options_.disconect2);
    layout->addWidget(confirmDisconnect_);
    layout->addWidget(disconect2_);
    layout->addStretch();
    return page;
}

QWidget* CProgrammSetupSheet::buildAutoPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    autoSave_ = check(page, "Автоматическое сохранение хроматограммы", options_.autoSave);
    enableKGK_ = check(page, "Использовать очередь КЖК", options_.enableKGK);
    autoClose_ = check(page, "Автоматическое закрытие хроматограммы", options_.autoClose);
    checkOpenPassport_ =
        check(page, "Выводить паспорт во время подготовки к запуску", options_.checkOpenPassport);
    checkViewNoMethod_ = check(page, "Показывать окно предупреждения об отсутствии метода",
                               options_.checkViewNoMethod);
    autoGenerateMethod_ =
        check(page, "Автоматически генерировать пустой метод, если метод отсутствует",
              options_.autoGenerateMethod);
    checkViewReport_ = check(page, "Показывать окно Отчет", options_.checkViewReport);
    checkViewAutoMark_ = check(page, "Показывать окно Авторазметка", options_.checkViewAutoMark);
    for (QCheckBox* b : {autoSave_, enableKGK_, autoClose_, checkOpenPassport_, checkViewNoMethod_,
                         autoGenerateMethod_, checkViewReport_, checkViewAutoMark_})
        layout->addWidget(b);
    layout->addStretch();
    return page;
}

QLineEdit* CProgrammSetupSheet::folderRow(QWidget* page, QBoxLayout* layout, const QString& label,
                                          const QString& chooserTitle, const std::string& value,
                                          QPushButton** browse) {
    if (!label.isEmpty())
        layout->addWidget(new QLabel(label, page));
    auto* row = new QHBoxLayout();
    auto* edit = new QLineEdit(q(value), page);
    auto* button = new QPushButton(QStringLiteral("..."), page);
    button->setFixedWidth(32);
    row->addWidget(edit);
    row->addWidget(button);
    layout->addLayout(row);
    connect(button, &QPushButton::clicked, this, [this, edit, chooserTitle] {
        const QString chosen = hooks_.chooseFolder(chooserTitle, edit->text());
        if (!chosen.isEmpty())
            edit->setText(chosen);
    });
    if (browse != nullptr)
        *browse = button;
    return edit;
}

QWidget* CProgrammSetupSheet::buildPathPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    checkSaveDb_ =
        check(page, "Автоматически сохранать информацию в базе данных", options_.checkSaveDb);
    layout->addWidget(checkSaveDb_);
    checkSaveCopy_ =
        check(page, "Сохранять копии хроматограмм в каталоге:", options_.checkSaveCopy);
    layout->addWidget(checkSaveCopy_);
    copiesFolder_ = folderRow(page, layout, {}, QStringLiteral("Сохранять копии в папку"),
                              options_.pathSaveCopy, &copiesBrowse_);
    dbFolder_ =
        folderRow(page, layout, QStringLiteral("Расположение базы данных"),
                  QStringLiteral("Сохранять в базу данных в папку"), options_.pathSaveDb, nullptr);
    methodFolder_ = folderRow(page, layout, QStringLiteral("Расположение файлов методов"),
                              QStringLiteral("Файлы медоды в папке"), options_.methodPath, nullptr);
    openFolder_ = folderRow(page, layout, QStringLiteral("Расположение файлов хроматограмм"),
                            QStringLiteral("Хроматограммы в папке"), options_.openPath, nullptr);
    saveFolderType_ = radios(page, layout, QStringLiteral("Сохранение хроматограмм"),
                             {QStringLiteral("Общая папка"), QStringLiteral("Год/месяц"),
                              QStringLiteral("Метод"), QStringLiteral("Метод/год/месяц")},
                             options_.saveFolderType);
    layout->addStretch();
    return page;
}

QWidget* CProgrammSetupSheet::buildOtherPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    noiseCalcType_ = radios(
        page, layout, QStringLiteral("Расчёт шума"),
        {QStringLiteral("Среднеквадратичное отклонение"), QStringLiteral("Максимальный выброс")},
        options_.noiseCalcType);
    drift_ = radios(
        page, layout, QStringLiteral("Компенсация дрейфа"),
        {QStringLiteral("по размеченой базовой линии"), QStringLiteral("по конечным точкам")},
        options_.driftageCompensation);
    auto* load = new QGroupBox(QStringLiteral("Загрузка процессора"), page);
    auto* ll = new QHBoxLayout(load);
    ll->addWidget(new QLabel(QStringLiteral("Максимум"), load));
    processor_ = new QSlider(Qt::Horizontal, load);
    processor_->setRange(0, 7);
    processor_->setValue(7 - options_.processor);  // the left end is Processor 7
    ll->addWidget(processor_);
    ll->addWidget(new QLabel(QStringLiteral("Минимум"), load));
    layout->addWidget(load);
    transformOil_ = check(page, "Анализ трансформаторного масла", options_.transformOil);
    useSound_ = check(page, "Использовать звуки", options_.useSound);
    layout->addWidget(transformOil_);
    connect(transformOil_, &QCheckBox::clicked, this, [this](bool checked) {
        if (!checked)
            return;
        if (auto edited = hooks_.editOilGases(options_.oilGases))
            options_.oilGases = *edited;
    });
    layout->addWidget(useSound_);
    QStringList levels;
    for (int i = 0; i < kAccessLevels; ++i)
        levels << QString::fromUtf8(accessLevelName(i));
    accessLevel_ =
        radios(page, layout, QStringLiteral("Уровень доступа"), levels, options_.accessLevel);
    connect(accessLevel_, &QButtonGroup::idClicked, this, &CProgrammSetupSheet::chooseAccessLevel);
    layout->addStretch();
    return page;
}

void CProgrammSetupSheet::chooseAccessLevel(int level) {
    auto show = [this](int l) {
        if (QAbstractButton* b = accessLevel_->button(l))
            b->setChecked(true);
    };
    const QString refused =
        QStringLiteral("При переключении на другой уровень доступа приборы должны быть отключены.");
    if (level <= 3 && currentLevel_ > 3 && hooks_.anyInstrumentConnected()) {
        hooks_.warn(refused);
        show(currentLevel_);
        return;
    }
    if (level <= 2) {
        currentLevel_ = level;
        show(level);
        return;
    }
    if (level >= 4) {
        if (level == currentLevel_)
            return;
        if (hooks_.anyInstrumentConnected()) {
            hooks_.warn(refused);
            show(currentLevel_);
            return;
        }
    }
    // Levels 3 to 5 need their pass word; cancelling leaves "Специалист".
    currentLevel_ = hooks_.askPassword(level) ? level : 2;
    show(currentLevel_);
}

void CProgrammSetupSheet::updateEnabling() {
    noViewGroupCalib_->setEnabled(viewGroup_->isChecked());
    autoGenerateMethod_->setEnabled(!checkViewNoMethod_->isChecked());
    copiesFolder_->setEnabled(checkSaveCopy_->isChecked());
    copiesBrowse_->setEnabled(checkSaveCopy_->isChecked());
}

ProgramOptions CProgrammSetupSheet::result() const {
    ProgramOptions o = options_;
    o.nameNumber = nameNumber_->isChecked();
    o.nameName = nameName_->isChecked();
    o.nameTime = nameTime_->isChecked();
    o.direction = direction_->checkedId();
    o.numZnakovC = digitsC_->value();
    o.numZnakovH = digitsH_->value();
    o.numZnakovS = digitsS_->value();
    o.floatType = floatType_->checkedId();
    o.markPeek = markPeek_->checkedId();
    o.normSec = normSec_->checkedId();
    o.peekWindow = peekWindow_->isChecked();
    o.viewGroup = viewGroup_->isChecked();
    o.noViewGroupCalib = noViewGroupCalib_->isChecked();
    o.confirmDisconnect = confirmDisconnect_->isChecked();
    o.disconect2 = disconect2_->isChecked();
    o.autoSave = autoSave_->isChecked();
    o.enableKGK = enableKGK_->isChecked();
    o.autoClose = autoClose_->isChecked();
    o.checkOpenPassport = checkOpenPassport_->isChecked();
    o.checkViewNoMethod = checkViewNoMethod_->isChecked();
    o.autoGenerateMethod = autoGenerateMethod_->isChecked();
    o.checkViewReport = checkViewReport_->isChecked();
    o.checkViewAutoMark = checkViewAutoMark_->isChecked();
    o.checkSaveDb = checkSaveDb_->isChecked();
    o.checkSaveCopy = checkSaveCopy_->isChecked();
    o.pathSaveCopy = copiesFolder_->text().toStdString();
    o.pathSaveDb = dbFolder_->text().toStdString();
    o.methodPath = methodFolder_->text().toStdString();
    o.openPath = openFolder_->text().toStdString();
    o.saveFolderType = saveFolderType_->checkedId();
    o.noiseCalcType = noiseCalcType_->checkedId();
    o.driftageCompensation = drift_->checkedId();
    o.processor = 7 - processor_->value();
    o.transformOil = transformOil_->isChecked();
    o.useSound = useSound_->isChecked();
    o.accessLevel = currentLevel_;
    return o;
}

void CProgrammSetupSheet::applyOkRules() {
    if (autoClose_->isChecked() && !autoSave_->isChecked()) {
        const bool yes =
            hooks_.askYesNo(QStringLiteral("Вы действительно хотите автоматически закрывать "
                                           "хроматограммы без сохранения результатов?"));
        if (!yes)
            autoClose_->setChecked(false);
    }
    const std::string copies = copiesFolder_->text().toStdString();
    if (checkSaveCopy_->isChecked() && !paths::ensureFolder(copies)) {
        hooks_.warn(
            QStringLiteral("Директория для сохранения копий хроматограмм не существует!\nКопии "
                           "сохраняться не будут!"));
    }
}

}  // namespace zelmora::gui
