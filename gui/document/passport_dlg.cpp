#include "gui/document/passport_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "document/prepared_passport.h"
#include "document/zelmora_doc.h"
#include "gui/message_box.h"
#include "gui/number_edit.h"
#include "method/document_method.h"
#include "method/method_sheet.h"
#include "processing/quantitation.h"

namespace zelmora::gui {

namespace {

db::Connection* gCatalogue = nullptr;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& t) {
    return t.toStdString();
}

NumberEdit* number(double lo, double hi, QWidget* parent, int width = 70) {
    auto* e = new NumberEdit(lo, hi, parent);
    e->setMaximumWidth(width);
    return e;
}

std::optional<std::int32_t> takeInt(NumberEdit* e) {
    const std::optional<double> v = e->take();
    if (!v)
        return std::nullopt;
    if (*v != std::floor(*v)) {
        MessageRequest r;
        r.parent = e->window();
        r.text = QStringLiteral("Введите целое число от %1 до %2.")
                     .arg(e->minimum(), 0, 'g', 10)
                     .arg(e->maximum(), 0, 'g', 10);
        showMessage(r);
        e->setFocus();
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*v);
}

bool defaultEditComment(QString& comment, QWidget* parent) {
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Комментарий"));
    auto* edit = new QPlainTextEdit(comment, &dlg);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* box = new QVBoxLayout(&dlg);
    box->addWidget(edit);
    box->addWidget(buttons);
    dlg.resize(420, 240);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    comment = edit->toPlainText();
    return true;
}

}  // namespace

std::function<bool(QString&, QWidget*)> CPassportDlg::editComment = defaultEditComment;
std::function<bool(const std::string&, QWidget*)> CPassportDlg::editMethod;
std::function<std::optional<std::string>(const std::string&, QWidget*)> CPassportDlg::chooseMethod;

void setPassportCatalogue(db::Connection* catalogue) {
    gCatalogue = catalogue;
}
db::Connection* passportCatalogue() {
    return gCatalogue;
}

CPassportDlg::CPassportDlg(CZelmoraDoc& doc, db::Connection* catalogue, QWidget* parent)
    : QDialog(parent), doc_(doc), catalogue_(catalogue), passport_(doc.passport) {
    setWindowTitle(QStringLiteral("Паспорт"));
    if (const Method* m = documentMethod(doc_)) {
        methodKind_ = m->calculation.kind;
        methodExtra_ = m->extra.kind;
    }
    comment_ = q(passport_.comment);

    auto* top = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    title_ = new QLabel(this);
    analysisTime_ = new QLabel(this);
    head->addWidget(new QLabel(QStringLiteral("Анализ:"), this));
    head->addWidget(title_, 1);
    head->addWidget(new QLabel(QStringLiteral("Дата:"), this));
    head->addWidget(analysisTime_);
    top->addLayout(head);

    // The sample.
    auto* sampleBox = new QGroupBox(QStringLiteral("ПРОБА:"), this);
    auto* sg = new QGridLayout(sampleBox);
    sample_ = new QLineEdit(sampleBox);
    sample2_ = new QLineEdit(sampleBox);
    sg->addWidget(sample_, 0, 0, 1, 6);
    sg->addWidget(sample2_, 1, 0, 1, 6);
    for (int i = 0; i < 3; ++i) {
        amountLabels_[i] = new QLabel(sampleBox);
        amounts_[i] = number(-1e300, 1e300, sampleBox, 90);
        sg->addWidget(amountLabels_[i], 2, 2 * i);
        sg->addWidget(amounts_[i], 2, 2 * i + 1);
    }
    sg->addWidget(new QLabel(QStringLiteral("Дата и время отбора"), sampleBox), 3, 0, 1, 2);
    auto* when = new QHBoxLayout;
    const double ranges[6][2] = {{1, 31}, {1, 12}, {1980, 2038}, {0, 23}, {0, 59}, {0, 59}};
    for (int i = 0; i < 6; ++i) {
        samplingParts_[i] = number(ranges[i][0], ranges[i][1], sampleBox, i == 2 ? 56 : 36);
        when->addWidget(samplingParts_[i]);
        if (i == 0 || i == 1)
            when->addWidget(new QLabel(QStringLiteral("."), sampleBox));
        else if (i == 3 || i == 4)
            when->addWidget(new QLabel(QStringLiteral(":"), sampleBox));
        else if (i == 2)
            when->addSpacing(12);
    }
    when->addStretch();
    sg->addLayout(when, 3, 2, 1, 4);
    place_ = new QComboBox(sampleBox);
    point_ = new QComboBox(sampleBox);
    for (QComboBox* c : {place_, point_}) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
    }
    place_->lineEdit()->setMaxLength(static_cast<int>(Passport::kPlaceMaxChars));
    point_->lineEdit()->setMaxLength(static_cast<int>(Passport::kPointMaxChars));
    sg->addWidget(new QLabel(QStringLiteral("Пункт отбора:"), sampleBox), 4, 0, 1, 2);
    sg->addWidget(place_, 4, 2, 1, 4);
    sg->addWidget(new QLabel(QStringLiteral("Точка отбора:"), sampleBox), 5, 0, 1, 2);
    sg->addWidget(point_, 5, 2, 1, 4);
    calibration_ = new QCheckBox(QStringLiteral("Градуировочная"), sampleBox);
    vial_ = number(std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max(), sampleBox);
    numberInSeries_ = number(std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max(), sampleBox);
    sg->addWidget(calibration_, 6, 0, 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("Виала"), sampleBox), 6, 2);
    sg->addWidget(vial_, 6, 3);
    sg->addWidget(new QLabel(QStringLiteral("Номер в серии"), sampleBox), 6, 4);
    sg->addWidget(numberInSeries_, 6, 5);
    top->addWidget(sampleBox);

    // The analysis.
    auto* analysisBox = new QGroupBox(QStringLiteral("АНАЛИЗ"), this);
    auto* ag = new QGridLayout(analysisBox);
    method_ = new QLineEdit(analysisBox);
    method_->setReadOnly(true);
    duration_ = number(0, 1e9, analysisBox);
    operator_ = new QLineEdit(analysisBox);
    detector_ = new QLineEdit(analysisBox);
    column_ = new QLineEdit(analysisBox);
    columnNumber_ = number(std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), analysisBox);
    grain_ = number(-1e300, 1e300, analysisBox);
    diameter_ = number(-1e300, 1e300, analysisBox);
    length_ = number(-1e300, 1e300, analysisBox);
    ag->addWidget(new QLabel(QStringLiteral("Метод:"), analysisBox), 0, 0);
    auto* methodLine = new QHBoxLayout;
    methodLine->addWidget(method_, 1);
    chooseButton_ = new QPushButton(QStringLiteral(". . ."), analysisBox);
    chooseButton_->setObjectName(QStringLiteral("chooseMethodButton"));
    chooseButton_->setAutoDefault(false);
    chooseButton_->setMaximumWidth(
        chooseButton_->fontMetrics().horizontalAdvance(QStringLiteral(". . .")) + 24);
    methodLine->addWidget(chooseButton_);
    ag->addLayout(methodLine, 0, 1, 1, 3);
    ag->addWidget(new QLabel(QStringLiteral("Продолж."), analysisBox), 0, 4);
    ag->addWidget(duration_, 0, 5);
    ag->addWidget(new QLabel(QStringLiteral("Оператор"), analysisBox), 1, 0);
    ag->addWidget(operator_, 1, 1, 1, 3);
    ag->addWidget(new QLabel(QStringLiteral("Детектор"), analysisBox), 1, 4);
    ag->addWidget(detector_, 1, 5, 1, 3);
    ag->addWidget(new QLabel(QStringLiteral("Колонка"), analysisBox), 2, 0);
    ag->addWidget(column_, 2, 1, 1, 3);
    ag->addWidget(new QLabel(QStringLiteral("Номер"), analysisBox), 2, 4);
    ag->addWidget(columnNumber_, 2, 5);
    ag->addWidget(new QLabel(QStringLiteral("Зерно"), analysisBox), 3, 0);
    ag->addWidget(grain_, 3, 1);
    ag->addWidget(new QLabel(QStringLiteral("Диаметр"), analysisBox), 3, 2);
    ag->addWidget(diameter_, 3, 3);
    ag->addWidget(new QLabel(QStringLiteral("Длина"), analysisBox), 3, 4);
    ag->addWidget(length_, 3, 5);
    deadTimeLabel_ = new QLabel(QStringLiteral("Тм"), analysisBox);
    deadTime_ = number(-1, 1, analysisBox);
    ag->addWidget(deadTimeLabel_, 3, 6);
    ag->addWidget(deadTime_, 3, 7);
    top->addWidget(analysisBox);

    auto makePhase = [this](QGroupBox*& box, QPlainTextEdit*& edit, QWidget*& numbers,
                            NumberEdit*(&values)[3]) {
        box = new QGroupBox(this);
        auto* v = new QVBoxLayout(box);
        edit = new QPlainTextEdit(box);
        edit->setTabChangesFocus(true);
        v->addWidget(edit);
        numbers = new QWidget(box);
        auto* h = new QHBoxLayout(numbers);
        h->setContentsMargins(0, 0, 0, 0);
        const char* labels[3] = {"Поток", "Давление", "Темп."};
        for (int i = 0; i < 3; ++i) {
            values[i] = number(-1e300, 1e300, numbers);
            h->addWidget(new QLabel(QString::fromUtf8(labels[i]), numbers));
            h->addWidget(values[i]);
        }
        v->addWidget(numbers);
    };
    auto* phases = new QHBoxLayout;
    makePhase(eluentBox_, eluent_, eluentNumbers_, eluentValues_);
    makePhase(reagentBox_, reagent_, reagentNumbers_, reagentValues_);
    phases->addWidget(eluentBox_);
    phases->addWidget(reagentBox_);
    top->addLayout(phases);

    auto* bottom = new QHBoxLayout;
    noise_ = new QLabel(this);
    drift_ = new QLabel(this);
    databaseKey_ = new QLabel(this);
    bottom->addWidget(new QLabel(QStringLiteral("Шум"), this));
    bottom->addWidget(noise_);
    bottom->addWidget(new QLabel(QStringLiteral("Дрейф"), this));
    bottom->addWidget(drift_);
    bottom->addWidget(new QLabel(QStringLiteral("Номер БД"), this));
    bottom->addWidget(databaseKey_);
    bottom->addStretch();
    top->addLayout(bottom);

    auto* buttons = new QHBoxLayout;
    layoutButton_ = new QPushButton(this);
    auto* commentButton = new QPushButton(QStringLiteral("&Комментарий"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    ok->setDefault(true);
    methodButton_ = new QPushButton(QStringLiteral("&Метод"), this);
    methodButton_->setObjectName(QStringLiteral("methodButton"));
    buttons->addWidget(layoutButton_);
    buttons->addWidget(methodButton_);
    buttons->addWidget(commentButton);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    layoutButton_->setObjectName(QStringLiteral("layoutButton"));
    commentButton->setObjectName(QStringLiteral("commentButton"));
    ok->setObjectName(QStringLiteral("okButton"));

    connect(layoutButton_, &QPushButton::clicked, this, &CPassportDlg::toggleLayout);
    connect(commentButton, &QPushButton::clicked, this, [this] {
        QString c = comment_;
        if (editComment && editComment(c, this))
            comment_ = c;
    });
    connect(methodButton_, &QPushButton::clicked, this, &CPassportDlg::runMethodEditor);
    connect(chooseButton_, &QPushButton::clicked, this, &CPassportDlg::runMethodChooser);
    methodButton_->setEnabled(static_cast<bool>(editMethod));
    chooseButton_->setEnabled(static_cast<bool>(chooseMethod));
    connect(ok, &QPushButton::clicked, this, &CPassportDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPassportDlg::reject);
    connect(calibration_, &QCheckBox::toggled, this, [this] { updateAmountLabels(); });
    connect(place_, &QComboBox::currentTextChanged, this, [this] { fillPoints(); });

    sample_->setObjectName(QStringLiteral("sample"));
    place_->setObjectName(QStringLiteral("place"));
    point_->setObjectName(QStringLiteral("point"));
    calibration_->setObjectName(QStringLiteral("calibration"));
    operator_->setObjectName(QStringLiteral("operator"));
    eluent_->setObjectName(QStringLiteral("eluent"));
    deadTime_->setObjectName(QStringLiteral("deadTime"));
    const char* partNames[6] = {"day", "month", "year", "hour", "minute", "second"};
    for (int i = 0; i < 6; ++i)
        samplingParts_[i]->setObjectName(QString::fromLatin1(partNames[i]));

    if (catalogue_ != nullptr) {
        db::CStationSet stations(*catalogue_);
        if (stations.open())
            for (const auto& r : stations.rows)
                place_->addItem(q(r.station));
    }
    showValues();
}

void CPassportDlg::fillPoints() {
    const QString typed = point_->currentText();
    point_->clear();
    if (catalogue_ != nullptr) {
        db::CStationSet stations(*catalogue_);
        if (stations.open()) {
            if (const auto* st = stations.findName(s(place_->currentText()))) {
                db::CPlaceSet points(*catalogue_);
                if (points.open(st->keyStation))
                    for (const auto& r : points.rows)
                        point_->addItem(q(r.place));
            }
        }
    }
    point_->setEditText(typed);
}

void CPassportDlg::showValues() {
    const Passport& p = passport_;
    title_->setText(q(std::filesystem::path(p.file).stem().string()));
    analysisTime_->setText(q(formatLocalTime(p.analysisTime, "%d.%m.%y  %H:%M:%S")));
    sample_->setText(q(p.sample));
    sample2_->setText(q(p.sample2));
    amounts_[0]->setValue(p.sampleAmount);
    amounts_[1]->setValue(p.standardAmount);
    amounts_[2]->setValue(p.norm);
    std::tm tm{};
    const std::time_t t = p.samplingTime;
    localtime_r(&t, &tm);
    const int parts[6] = {tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                          tm.tm_hour, tm.tm_min,     tm.tm_sec};
    for (int i = 0; i < 6; ++i)
        samplingParts_[i]->setText(i < 2 || i > 2
                                       ? QStringLiteral("%1").arg(parts[i], 2, 10, QLatin1Char('0'))
                                       : QString::number(parts[i]));
    place_->setEditText(q(p.place));
    fillPoints();
    point_->setEditText(q(p.point));
    calibration_->setChecked(p.calibration != 0);
    vial_->setValue(p.vial);
    numberInSeries_->setValue(p.numberInSeries);
    method_->setText(q(p.method));
    duration_->setValue(p.duration);
    operator_->setText(q(p.operatorName));
    detector_->setText(q(p.detector));
    column_->setText(q(p.column));
    columnNumber_->setValue(p.columnNumber);
    grain_->setValue(p.grain);
    diameter_->setValue(p.diameter);
    length_->setValue(p.length);
    eluent_->setPlainText(q(p.eluent));
    reagent_->setPlainText(q(p.reagent));
    const double e[3] = {p.eluentFlow, p.eluentPressure, p.eluentTemperature};
    const double r[3] = {p.reagentFlow, p.reagentPressure, p.reagentTemperature};
    for (int i = 0; i < 3; ++i) {
        eluentValues_[i]->setValue(e[i]);
        reagentValues_[i]->setValue(r[i]);
    }
    noise_->setText(q(text::format("%.3f", p.noise)));
    drift_->setText(q(text::format("%.1f", p.drift)));
    databaseKey_->setText(QString::number(p.databaseKey));
    updateLayout();
    updateAmountLabels();
}

void CPassportDlg::updateLayout() {
    const bool gas = passport_.isGas();
    deadTime_->setValue(passport_.deadTime);
    deadTime_->setVisible(!gas);
    deadTimeLabel_->setVisible(!gas);
    eluentNumbers_->setVisible(!gas);
    reagentNumbers_->setVisible(!gas);
    eluentBox_->setTitle(gas ? QStringLiteral("Газовые параметры") : QStringLiteral("ЭЛЮЕНТ:"));
    reagentBox_->setTitle(gas ? QStringLiteral("Температурные праметры")
                              : QStringLiteral("РЕАГЕНТ:"));
    eluent_->setMaximumHeight(gas ? QWIDGETSIZE_MAX : 48);
    reagent_->setMaximumHeight(gas ? QWIDGETSIZE_MAX : 48);
    layoutButton_->setText(gas ? QStringLiteral("Газовый ->жидкостный")
                               : QStringLiteral("Жидкостный ->газовый"));
}

void CPassportDlg::toggleLayout() {
    passport_.deadTime = passport_.isGas() ? 1.0 : Passport::kGasDeadTime;
    updateLayout();
}

void CPassportDlg::updateAmountLabels() {
    // Without a method the three values keep their own names.
    PassportLabels l{"Масса пробы", "Масса стандарта", "Норма:"};
    if (methodKind_ >= 0)
        l = passportLabels(methodKind_, methodExtra_, calibration_->isChecked());
    const std::string* texts[3] = {&l.sampleAmount, &l.standardAmount, &l.norm};
    for (int i = 0; i < 3; ++i) {
        amountLabels_[i]->setText(q(*texts[i]));
        amountLabels_[i]->setVisible(!texts[i]->empty());
        amounts_[i]->setVisible(!texts[i]->empty());
    }
}

QString CPassportDlg::amountLabel(int which) const {
    if (which < 0 || which > 2 || amountLabels_[which]->isHidden())
        return {};
    return amountLabels_[which]->text();
}

bool CPassportDlg::takeValues(Passport& p) {
    for (int i = 0; i < 3; ++i) {
        // A hidden amount keeps its value; a shown one must be a number.
        if (amounts_[i]->isHidden())
            continue;
        const std::optional<double> v = amounts_[i]->take();
        if (!v)
            return false;
        (i == 0 ? p.sampleAmount : i == 1 ? p.standardAmount : p.norm) = *v;
    }
    int parts[6];
    for (int i = 0; i < 6; ++i) {
        const std::optional<std::int32_t> v = takeInt(samplingParts_[i]);
        if (!v)
            return false;
        parts[i] = *v;
    }
    std::tm tm{};
    tm.tm_mday = parts[0];
    tm.tm_mon = parts[1] - 1;
    tm.tm_year = parts[2] - 1900;
    tm.tm_hour = parts[3];
    tm.tm_min = parts[4];
    tm.tm_sec = parts[5];
    tm.tm_isdst = -1;
    const std::time_t sampling = std::mktime(&tm);
    // 31.02 is not a date; the file keeps 32-bit seconds.
    if (sampling == static_cast<std::time_t>(-1) || tm.tm_mday != parts[0] ||
        tm.tm_mon != parts[1] - 1 || sampling > std::numeric_limits<std::int32_t>::max()) {
        MessageRequest r;
        r.parent = this;
        r.text = QStringLiteral("Неверная дата отбора.");
        showMessage(r);
        samplingParts_[0]->setFocus();
        return false;
    }
    std::optional<std::int32_t> vial = takeInt(vial_);
    if (!vial)
        return false;
    std::optional<std::int32_t> series = takeInt(numberInSeries_);
    if (!series)
        return false;
    std::optional<double> duration = duration_->take();
    if (!duration)
        return false;
    std::optional<std::int32_t> columnNumber = takeInt(columnNumber_);
    if (!columnNumber)
        return false;
    std::optional<double> grain = grain_->take(), diameter, length;
    if (!grain || !(diameter = diameter_->take()) || !(length = length_->take()))
        return false;
    if (!p.isGas()) {
        const std::optional<double> dead = deadTime_->take();
        if (!dead)
            return false;
        double e[3], r[3];
        for (int i = 0; i < 3; ++i) {
            const std::optional<double> ev = eluentValues_[i]->take();
            if (!ev)
                return false;
            const std::optional<double> rv = reagentValues_[i]->take();
            if (!rv)
                return false;
            e[i] = *ev;
            r[i] = *rv;
        }
        p.deadTime = *dead;
        p.eluentFlow = e[0];
        p.eluentPressure = e[1];
        p.eluentTemperature = e[2];
        p.reagentFlow = r[0];
        p.reagentPressure = r[1];
        p.reagentTemperature = r[2];
    }
    p.samplingTime = sampling;
    p.vial = *vial;
    p.numberInSeries = *series;
    p.duration = *duration;
    p.columnNumber = *columnNumber;
    p.grain = *grain;
    p.diameter = *diameter;
    p.length = *length;
    p.sample = s(sample_->text());
    p.sample2 = s(sample2_->text());
    p.place = s(place_->currentText());
    p.point = s(point_->currentText());
    p.calibration = calibration_->isChecked() ? 1 : 0;
    p.operatorName = s(operator_->text());
    p.detector = s(detector_->text());
    p.column = s(column_->text());
    p.eluent = s(eluent_->toPlainText());
    p.reagent = s(reagent_->toPlainText());
    p.comment = s(comment_);
    return true;
}

void CPassportDlg::accept() {
    Passport p = passport_;
    if (!takeValues(p))
        return;
    if (catalogue_ != nullptr) {
        auto ask = [this](const std::string& question) {
            MessageRequest r;
            r.parent = this;
            r.icon = QMessageBox::Question;
            r.text = q(question);
            r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            switch (showMessage(r)) {
                case QMessageBox::Yes:
                    return db::Answer::Yes;
                case QMessageBox::No:
                    return db::Answer::No;
                default:
                    return db::Answer::Cancel;
            }
        };
        const db::Result<db::PassportPlaceCheck> check =
            db::checkPassportPlace(*catalogue_, p.place, p.point, ask);
        if (!check) {
            showFailure(this, check.status(), {}, QMessageBox::Critical);
            return;
        }
        if (check->keepDialogOpen)
            return;
    }
    if (runPreparation()) {
        // The method remembers this passport for its next run; a failure to
        // keep it is told, and the recording goes on with the passport.
        if (const Status kept = writePreparedPassport(preparedFolder_, p); !kept)
            showFailure(this, kept,
                        QStringLiteral("Паспорт для следующего запуска не сохранён.\n%1"));
    }
    passport_ = p;
    doc_.passport = p;
    if (methodChanged_) {
        RecordingMessageSink quiet;
        doc_.reloadMethod(quiet);
        doc_.updateTitle();
    }
    QDialog::accept();
}

void CPassportDlg::readMethodKind(const std::string& method) {
    methodKind_ = -1;
    methodExtra_ = 0;
    CMethodSheet sheet;
    if (!method.empty() && sheet.ReadMethod(method)) {
        methodKind_ = sheet.method().calculation.kind;
        methodExtra_ = sheet.method().extra.kind;
    }
    updateAmountLabels();
}

void CPassportDlg::runMethodEditor() {
    if (!editMethod || passport_.method.empty())
        return;
    if (!editMethod(passport_.method, this))
        return;
    // The saved method may have another calculation; the document's copy
    // follows saved methods by itself.
    readMethodKind(passport_.method);
}

void CPassportDlg::runMethodChooser() {
    if (!chooseMethod)
        return;
    const std::optional<std::string> chosen = chooseMethod(passport_.method, this);
    if (!chosen || chosen->empty())
        return;
    // Taken into the chromatogram, with its method reloaded, on OK.
    passport_.method = *chosen;
    methodChanged_ = true;
    method_->setText(q(*chosen));
    readMethodKind(*chosen);
}

void CPassportDlg::setRunPreparation(const std::filesystem::path& folder, bool queueInUse) {
    preparedFolder_ = folder;
    if (queueInUse)
        return;
    const Result<std::optional<Passport>> kept = readPreparedPassport(folder, passport_.method);
    if (!kept) {
        showFailure(this, kept.status(),
                    QStringLiteral("Сохранённый паспорт метода не прочитан.\n%1"));
        return;
    }
    if (!*kept)
        return;
    const std::string method = passport_.method;
    passport_ = **kept;
    passport_.method = method;
    passport_.file = std::string(1, '?');  // not a file: a prepared passport
    comment_ = q(passport_.comment);
    showValues();
}

bool editPassportForRun(CZelmoraDoc& doc, QWidget* parent) {
    CPassportDlg dlg(doc, passportCatalogue(), parent);
    const ProgramOptions o = programOptions();
    dlg.setRunPreparation(paths::defaultDataFolder(), o.enableKGK);
    return dlg.exec() == QDialog::Accepted;
}

}  // namespace zelmora::gui
