#include "gui/method/calibration_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/program_settings.h"
#include "app/text.h"
#include "chart/chart_series.h"
#include "chart/qt_chart_painter.h"
#include "method/method_editing.h"
#include "processing/calibration.h"
#include "processing/quantitation.h"

namespace zelmora::gui {
namespace {

bool isStandard(const CalculationSettings& s, const MethodComponent& c) {
    return usesStandard(s.kind) && !s.standard.empty() && c.name == s.standard;
}

QString levelText(const CalculationSettings& s, const MethodComponent& c, std::size_t level,
                  int column, const ProgramOptions& o) {
    const CalibrationPoint& p = c.points[level];
    switch (column) {
        case CCalibrationDlg::kLevel:
            return QString::number(level + 1);
        case CCalibrationDlg::kTime:
            return QString::fromStdString(text::format("%.3g", p.retentionTime));
        case CCalibrationDlg::kHeight:
            return QString::fromStdString(FormatValue(p.height, 1, o));
        case CCalibrationDlg::kArea:
            return QString::fromStdString(FormatValue(p.area, 2, o));
        case CCalibrationDlg::kCoefficient:
            return QString::fromStdString(text::format("%.6g", shownLevelCoefficient(s, c, level)));
        default:
            return QString::fromStdString(FormatValue(p.amount, 0, o));
    }
}

}  // namespace

void drawCalibrationGraph(QPainter& p, const QRectF& area, const CalculationSettings& s,
                          int component, int selected) {
    p.save();
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8);
    chart::QtChartPainter cp(p, font);
    const QFontMetricsF fm(font, p.device());

    std::vector<chart::PointF> levels, curve;
    if (component >= 0 && component < int(s.components.size())) {
        const MethodComponent& c = s.components[component];
        for (const CalibrationPoint& pt : c.points)
            levels.push_back({LevelResponse(pt, s.response), pt.amount});
        for (const auto& [x, y] : calibrationCurveSamples(s, c))
            if (std::isfinite(y))
                curve.push_back({x, y});
    }
    chart::ChartAxes axes;
    axes.fullFrame = true;
    const double left =
        area.left() + fm.height() * 2 + fm.horizontalAdvance(QStringLiteral("-0000.00"));
    axes.plot = {left, area.top() + fm.height(), area.right() - fm.averageCharWidth() * 4,
                 area.bottom() - fm.height() * 3 - 6};
    std::vector<chart::PointF> all = levels;
    all.insert(all.end(), curve.begin(), curve.end());
    all.push_back({0, 0});  // the graph starts at no response and no amount
    axes.prepare(cp, {all});
    axes.drawFrame(cp);

    p.save();
    p.setClipRect(QRectF(axes.plot.left, axes.plot.top, axes.plot.width(), axes.plot.height()));
    if (curve.size() > 1) {
        std::vector<double> xs, ys;
        for (const chart::PointF& q : curve) {
            xs.push_back(q.x);
            ys.push_back(q.y);
        }
        chart::ChartSeries line = chart::ChartSeries::fromVectors(xs, ys);
        line.color = {0, 0, 255};
        line.penWidth = 1.5;
        line.draw(cp, axes);
    }
    for (int i = 0; i < int(levels.size()); ++i) {
        if (levels[i].x == 0 && levels[i].y == 0)
            continue;  // an empty level
        const chart::PointF at = axes.map(levels[i]);
        const bool highlighted = i == selected;
        cp.setPen(highlighted ? chart::Color{255, 0, 0} : chart::Color{0, 0, 0},
                  highlighted ? 2 : 1);
        const double r = highlighted ? 5 : 3.5;
        cp.ellipse(at, r, r);
    }
    p.restore();
    cp.setPen({0, 0, 0}, 1);
    cp.text({(axes.plot.left + axes.plot.right) / 2, area.bottom() - 4}, "Отклик детектора",
            chart::Align::Center);
    p.translate(area.left() + fm.height(), (axes.plot.top + axes.plot.bottom) / 2);
    p.rotate(-90);
    cp.text({0, 0}, "Количество", chart::Align::Center);
    p.restore();
}

CCalibrationGraph::CCalibrationGraph(const CalculationSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings) {
    setMinimumSize(320, 240);
}

void CCalibrationGraph::show(int component, int selected) {
    component_ = component;
    selected_ = selected;
    update();
}

void CCalibrationGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawCalibrationGraph(p, QRectF(rect()), settings_, component_, selected_);
}

CCalibrationDlg::CCalibrationDlg(CalculationSettings& settings, int component, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Калибровка"));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Компонент:"), this), 0, 0);
    components_ = new QComboBox(this);
    top->addWidget(components_, 0, 1);
    curveLabel_ = new QLabel(QStringLiteral("Вид кривой:"), this);
    top->addWidget(curveLabel_, 1, 0);
    curveForm_ = new QComboBox(this);
    for (int t = 0; t < kCurveTypes; ++t)
        curveForm_->addItem(QString::fromUtf8(curveTypeCaption(t)));
    top->addWidget(curveForm_, 1, 1);
    manual_ = new QCheckBox(QStringLiteral("Вручную"), this);
    top->addWidget(manual_, 1, 2);
    auto* coefficients = new QHBoxLayout;
    const char* names[] = {"k0 = ", "k1 = ", "k2 = ", "k3 = "};
    for (int j = 0; j < 4; ++j) {
        kLabels_[j] = new QLabel(QString::fromUtf8(names[j]), this);
        k_[j] = new QLineEdit(this);
        coefficients->addWidget(kLabels_[j]);
        coefficients->addWidget(k_[j], 1);
        connect(k_[j], &QLineEdit::editingFinished, this, [this, j] {
            if (manual_->isChecked() && k_[j]->isModified())
                editCoefficient(j, k_[j]->text());
        });
    }
    top->addLayout(coefficients, 2, 0, 1, 3);
    statistics_ = new QLabel(this);
    top->addWidget(statistics_, 3, 0, 1, 3);
    top->setColumnStretch(1, 1);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    levels_ = new QTableWidget(0, kColumnCount, this);
    levels_->setHorizontalHeaderLabels(
        QStringLiteral("N\tВремя, мин\tВысота, мВ\tПлощадь\tКалибр.коэфф\tКоличество")
            .split(u'\t'));
    levels_->verticalHeader()->hide();
    levels_->setSelectionBehavior(QAbstractItemView::SelectRows);
    levels_->setSelectionMode(QAbstractItemView::SingleSelection);
    levels_->setColumnWidth(kLevel, 32);
    left->addWidget(levels_, 1);
    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("+"), this);
    delete_ = new QPushButton(QStringLiteral("--"), this);
    deleteAll_ = new QPushButton(QStringLiteral("-- Все"), this);
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    buttons->addWidget(deleteAll_);
    buttons->addStretch();
    left->addLayout(buttons);
    middle->addLayout(left, 3);
    graph_ = new CCalibrationGraph(settings_, this);
    middle->addWidget(graph_, 2);
    layout->addLayout(middle, 1);

    auto* close = new QPushButton(QStringLiteral("&Закрыть"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(900, 520);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(add_, &QPushButton::clicked, this, &CCalibrationDlg::addLevel);
    connect(delete_, &QPushButton::clicked, this, &CCalibrationDlg::deleteSelectedLevel);
    connect(deleteAll_, &QPushButton::clicked, this, &CCalibrationDlg::deleteAllLevels);
    connect(components_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!filling_)
            setComponent(i);
    });
    connect(curveForm_, &QComboBox::currentIndexChanged, this, [this](int t) {
        if (!filling_)
            setCurveType(t);
    });
    connect(manual_, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_)
            setManual(on);
    });
    connect(levels_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_)
            editLevel(item->row(), item->column(), item->text());
    });
    connect(levels_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!filling_)
            graph_->show(component_, row);
        delete_->setEnabled(levelCount(settings_) > 0);
    });

    component_ = std::clamp(component, 0, std::max(0, int(settings_.components.size()) - 1));
    refresh();
}

MethodComponent& CCalibrationDlg::current() {
    return settings_.components[static_cast<std::size_t>(component_)];
}

void CCalibrationDlg::setComponent(int component) {
    if (component < 0 || component >= int(settings_.components.size()))
        return;
    component_ = component;
    refresh();
}

void CCalibrationDlg::refresh() {
    const CalibrationReport fit = FitAllComponents(settings_);
    filling_ = true;
    const bool curves = usesCurveForms(settings_.kind);
    components_->clear();
    for (const MethodComponent& c : settings_.components)
        components_->addItem(QString::fromStdString(c.name) + (isStandard(settings_, c)
                                                                   ? QStringLiteral(" (стандарт)")
                                                                   : QString()));
    const bool any = component_ >= 0 && component_ < int(settings_.components.size());
    components_->setCurrentIndex(any ? component_ : -1);
    curveLabel_->setVisible(curves);
    curveForm_->setVisible(curves);
    for (int j : {0, 2, 3}) {
        k_[j]->setVisible(curves);
        kLabels_[j]->setVisible(curves);
    }
    statistics_->setVisible(!curves);

    const int row = levels_->currentRow();
    const std::size_t n = any ? current().points.size() : 0;
    levels_->setRowCount(static_cast<int>(n));
    levels_->setColumnHidden(kCoefficient, curves);
    const ProgramOptions o = programOptions();
    for (std::size_t i = 0; i < n; ++i)
        for (int col = 0; col < kColumnCount; ++col) {
            auto* item = new QTableWidgetItem(levelText(settings_, current(), i, col, o));
            if (col == kLevel || col == kCoefficient)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            levels_->setItem(static_cast<int>(i), col, item);
        }
    if (row >= 0 && row < int(n))
        levels_->setCurrentCell(row, 0);

    if (any) {
        MethodComponent& c = current();
        curveForm_->setCurrentIndex(c.curveType >= 0 && c.curveType < kCurveTypes ? c.curveType
                                                                                  : -1);
        manual_->setChecked(c.manual);
        const double k[] = {c.k0, c.k1, c.k2, c.k3};
        for (int j = 0; j < 4; ++j) {
            k_[j]->setText(QString::fromStdString(formatCoefficient(k[j])));
            k_[j]->setReadOnly(!c.manual);
            k_[j]->setEnabled(!c.manual || coefficientUsed(curves ? c.curveType : 0, j));
        }
        const ClassicStatistics st = static_cast<std::size_t>(component_) < fit.statistics.size()
                                         ? fit.statistics[component_]
                                         : ClassicStatistics{};
        statistics_->setText(
            QString::fromStdString(text::format("ОСКО=%.3f%% R=%.3f%%", st.rsd, st.range)));
    }
    manual_->setEnabled(any);
    curveForm_->setEnabled(any);
    add_->setEnabled(!settings_.components.empty());
    delete_->setEnabled(levelCount(settings_) > 0);
    deleteAll_->setEnabled(levelCount(settings_) > 0);
    filling_ = false;
    graph_->show(component_, levels_->currentRow());
}

bool CCalibrationDlg::editLevel(int level, int column, const QString& text) {
    if (component_ >= int(settings_.components.size()) || level < 0 ||
        level >= int(current().points.size()))
        return false;
    CalibrationPoint& p = current().points[static_cast<std::size_t>(level)];
    double* field = column == kTime     ? &p.retentionTime
                    : column == kHeight ? &p.height
                    : column == kArea   ? &p.area
                    : column == kAmount ? &p.amount
                                        : nullptr;
    const std::optional<double> v = parseTableNumber(text.toStdString());
    const bool ok = field != nullptr && v.has_value();
    if (ok)
        *field = *v;
    else
        QApplication::beep();
    refresh();
    return ok;
}

void CCalibrationDlg::setCurveType(int type) {
    if (component_ >= int(settings_.components.size()) || type < 0 || type >= kCurveTypes)
        return;
    current().curveType = type;
    if (current().manual)
        keepUsedCoefficients(current());
    refresh();
}

void CCalibrationDlg::setManual(bool manual) {
    if (component_ >= int(settings_.components.size()))
        return;
    MethodComponent& c = current();
    c.manual = manual;
    if (manual) {
        // Outside the curve forms the curve is Y = k1 X.
        if (!usesCurveForms(settings_.kind)) {
            c.k0 = c.k2 = c.k3 = 0;
        } else {
            keepUsedCoefficients(c);
        }
    }
    refresh();
}

bool CCalibrationDlg::editCoefficient(int j, const QString& text) {
    if (component_ >= int(settings_.components.size()) || j < 0 || j > 3)
        return false;
    MethodComponent& c = current();
    const int type = usesCurveForms(settings_.kind) ? c.curveType : 0;
    const std::optional<double> v = text::parseDouble(text.toStdString(), true);
    const bool ok = c.manual && v.has_value() && coefficientUsed(type, j);
    if (ok) {
        double* k[] = {&c.k0, &c.k1, &c.k2, &c.k3};
        *k[j] = *v;
    } else {
        QApplication::beep();
    }
    refresh();
    return ok;
}

void CCalibrationDlg::addLevel() {
    if (settings_.components.empty())
        return;
    AddLevel(settings_, 0);
    refresh();
    levels_->setCurrentCell(levels_->rowCount() - 1, kTime);
}

bool CCalibrationDlg::deleteSelectedLevel() {
    const int row = levels_->currentRow();
    if (row < 0 || !DeleteLevel(settings_, static_cast<std::size_t>(row)))
        return false;
    refresh();
    return true;
}

bool CCalibrationDlg::deleteAllLevels() {
    if (levelCount(settings_) == 0)
        return false;
    DeleteAllLevels(settings_);
    refresh();
    return true;
}

void CCalibrationDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Insert) {
        addLevel();
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        deleteSelectedLevel();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace zelmora::gui
