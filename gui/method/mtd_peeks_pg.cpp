#include "gui/method/mtd_peeks_pg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "document/signal.h"
#include "gui/method/peak_events_dlg.h"
#include "gui/number_edit.h"
#include "processing/marking_proposal.h"

namespace zelmora::gui {
namespace {

constexpr double kLimit = 1e10;

struct FieldSpec {
    const char* label;
    const char* unit;
    double minimum, maximum;
    float MarkingParameters::*member;
};

constexpr FieldSpec kFields[CMtdPeeksPg::kFieldCount] = {
    {"Ширина:", "мин", 0, kLimit, &MarkingParameters::Width},
    {"Увеличение ширины вдвое:", "мин", 0, kLimit, &MarkingParameters::WidthDoublingTime},
    {"Максимальное расстояние между  пиками с общей базовой линией:", "мин", -kLimit, kLimit,
     &MarkingParameters::MaxCommonBaselineDistance},
    {"Максимальная площадь наездника:", "мВ·мин", 0, kLimit, &MarkingParameters::MaxRiderArea},
    {"Начало разметки", "мин", 0, 240, &MarkingParameters::MarkingStart},
    {"Минимальная высота:", "мВ", 0, kLimit, &MarkingParameters::MinHeight},
    {"Минимальная площадь:", "мВ·мин", 0, kLimit, &MarkingParameters::MinArea},
    {"Максимальная ширина", "мин", 0, kLimit, &MarkingParameters::MaxWidth},
};

struct Box {
    const char* title;
    int first, count;
};
constexpr Box kBoxes[] = {
    {"Разметка пиков", CMtdPeeksPg::kWidth, 2},
    {"Разметка базовой линии", CMtdPeeksPg::kMaxCommonBaselineDistance, 2},
    {"Фильтрация пиков", CMtdPeeksPg::kMarkingStart, 4},
};

}  // namespace

CMtdPeeksPg::CMtdPeeksPg(const MarkingParameters& parameters, QWidget* parent)
    : QWidget(parent), parameters_(parameters) {
    editEvents = [this](std::vector<PeakEvent>& events) {
        CPeakEventsDlg dlg(events, this);
        if (dlg.exec() == QDialog::Accepted)
            events = dlg.events();
    };
    auto* layout = new QVBoxLayout(this);
    for (const Box& box : kBoxes) {
        auto* group = new QGroupBox(QString::fromUtf8(box.title), this);
        auto* grid = new QGridLayout(group);
        for (int i = 0; i < box.count; ++i) {
            const int f = box.first + i;
            const FieldSpec& spec = kFields[f];
            auto* label = new QLabel(QString::fromUtf8(spec.label), group);
            label->setWordWrap(true);
            auto* edit = new NumberEdit(spec.minimum, spec.maximum, group);
            edit->setValue(parameters.*spec.member);
            edit->setMaximumWidth(120);
            label->setBuddy(edit);
            grid->addWidget(label, i, 0);
            grid->addWidget(edit, i, 1);
            grid->addWidget(new QLabel(QString::fromUtf8(spec.unit), group), i, 2);
            fields_[f] = edit;
        }
        grid->setColumnStretch(0, 1);
        layout->addWidget(group);
    }
    auto* row = new QHBoxLayout;
    events_ = new QPushButton(QStringLiteral("События"), this);
    row->addWidget(events_);
    propose_ = new QPushButton(QStringLiteral("Подобрать"), this);
    propose_->setToolTip(
        QStringLiteral("Предложить ширину, минимальные высоту и площадь и максимальную "
                       "ширину по шуму и ширине пиков этой хроматограммы"));
    propose_->setVisible(false);
    row->addWidget(propose_);
    row->addStretch();
    layout->addLayout(row);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note_->setVisible(false);
    layout->addWidget(note_);
    layout->addStretch();
    connect(propose_, &QPushButton::clicked, this, [this] { proposeFromTrace(); });
    connect(events_, &QPushButton::clicked, this, [this] {
        if (editEvents)
            editEvents(parameters_.events);
    });
}

void CMtdPeeksPg::setTrace(const Signal* trace) {
    trace_ = trace;
    propose_->setVisible(trace_ != nullptr);
    propose_->setEnabled(trace_ != nullptr && !trace_->empty());
    note_->clear();
    note_->setVisible(false);
}

bool CMtdPeeksPg::proposeFromTrace() {
    if (trace_ == nullptr)
        return false;
    // The parameters the proposal keeps are the ones now in the boxes; a box
    // that does not hold a number keeps the method's value.
    MarkingParameters base = parameters_;
    for (int f = 0; f < kFieldCount; ++f)
        if (const std::optional<double> v = fields_[f]->value())
            base.*kFields[f].member = static_cast<float>(*v);
    const Result<MarkingProposal> proposal = ProposeMarking(*trace_, base);
    note_->setVisible(true);
    if (!proposal) {
        note_->setText(QStringLiteral("Подобрать нельзя: ") +
                       QString::fromStdString(proposal.message()));
        note_->setToolTip({});
        return false;
    }
    const MarkingParameters& p = proposal->parameters;
    for (const Field f : {kWidth, kWidthDoublingTime, kMinHeight, kMinArea, kMaxWidth})
        fields_[f]->setValue(p.*kFields[f].member);
    // The short note: what the trace says; the tooltip: every reason.
    const TraceCharacter& c = proposal->trace;
    QString text = QStringLiteral("Шум базовой линии %1 мВ").arg(QString::number(c.noise, 'g', 3));
    if (c.narrowWidth > 0)
        text += QStringLiteral(", ширина узких пиков на половине высоты %1 мин")
                    .arg(QString::number(c.narrowWidth, 'g', 3));
    else
        text += QStringLiteral(", пики над шумом не найдены: ширина оставлена");
    if (c.doublingTime > 0)
        text +=
            QStringLiteral(", ширина вдвое за %1 мин").arg(QString::number(c.doublingTime, 'g', 3));
    note_->setText(text + QStringLiteral(". Значения будут приняты по OK."));
    QStringList reasons;
    for (const std::string& r : proposal->reasons)
        reasons << QString::fromStdString(r);
    note_->setToolTip(reasons.join(u'\n'));
    return true;
}

bool CMtdPeeksPg::takeValues() {
    std::array<double, kFieldCount> values{};
    for (int f = 0; f < kFieldCount; ++f) {
        const std::optional<double> v = fields_[f]->take();
        if (!v)
            return false;
        values[f] = *v;
    }
    for (int f = 0; f < kFieldCount; ++f)
        parameters_.*kFields[f].member = static_cast<float>(values[f]);
    return true;
}

}  // namespace zelmora::gui
