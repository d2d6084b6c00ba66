#include "gui/calc/transform_oil_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/program_settings.h"
#include "app/text.h"
#include "chart/chart_series.h"
#include "chart/qt_chart_painter.h"
#include "database/point_history.h"
#include "database/recordsets.h"
#include "gui/document/passport_dlg.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

const QString kNotCalculated = QStringLiteral("?????");
const QString kDefaultX = QStringLiteral("дата анализа");
const QString kDefaultY = QStringLiteral("количество");

const char* const kRatioLabels[4] = {
    "C2H2 / C2H4  = ", "CH4 / H2        = ", "C2H4 / C2H6  = ", "CO2 / CO        = "};
const char* const kGrowthLabels[kOilGasCount] = {
    "V H2         = ", "V CO         = ", "V CO2       = ", "V CH4       = ",
    "V C2H2     = ",   "V C2H4     = ",   "V C2H6     = "};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* figureBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    box->setText(kNotCalculated);
    return box;
}

}  // namespace

COilChart::COilChart(QWidget* parent) : QWidget(parent), xTitle_(kDefaultX), yTitle_(kDefaultY) {
    setMinimumSize(260, 180);
}

void COilChart::setData(std::vector<OilChartPoint> points, QString xTitle, QString yTitle) {
    points_ = std::move(points);
    xTitle_ = std::move(xTitle);
    yTitle_ = std::move(yTitle);
    update();
}

void COilChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    chart::QtChartPainter cp(p, font());
    const double th = cp.textHeight();
    chart::ChartAxes axes;
    axes.plot = {8 * cp.averageCharWidth() + 8, 2 * th, width() - 12.0, height() - 3 * th};
    std::vector<chart::PointF> curve;
    for (const OilChartPoint& pt : points_)
        curve.push_back({pt.days, pt.value});
    const std::vector<chart::PointF> origin = {{0, 0}, {0, 0}};
    axes.prepare(cp, {curve, origin});
    axes.drawFrame(cp);
    std::vector<double> xs, ys;
    for (const auto& c : curve) {
        xs.push_back(c.x);
        ys.push_back(c.y);
    }
    chart::ChartSeries line = chart::ChartSeries::fromVectors(xs, ys);
    line.color = {0, 0, 255};
    line.marker = chart::Marker::Circle;
    line.penWidth = 2;
    line.draw(cp, axes);
    chart::ChartSeries zero = chart::ChartSeries::fromVectors({0, 0}, {0, 0});
    zero.marker = chart::Marker::Square;
    zero.draw(cp, axes);
    cp.setPen({0, 0, 0}, 1);
    cp.text({(axes.plot.left + axes.plot.right) / 2, height() - 4.0}, xTitle_.toStdString(),
            chart::Align::Center);
    cp.text({4, th}, yTitle_.toStdString(), chart::Align::Left);
}

CTransformOilDlg::CTransformOilDlg(db::Connection* db, const OilGasList& gases, QWidget* parent,
                                   std::function<std::time_t()> now)
    : QDialog(parent), db_(db), gases_(gases), now_(std::move(now)) {
    setWindowTitle(QStringLiteral("Расчет трансформаторного масла"));

    stations_ = new QComboBox(this);
    places_ = new QComboBox(this);
    stations_->setMinimumContentsLength(18);
    places_->setMinimumContentsLength(18);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Пункт отбора:"), this));
    top->addWidget(stations_, 1);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Точка отбора:"), this));
    top->addWidget(places_, 1);

    table_ = new QTableWidget(0, 1 + static_cast<int>(kOilGasCount), this);
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    chart_ = new COilChart(this);

    merge_ = new QPushButton(QStringLiteral("Объеденить / Усреднить"), this);
    calculate_ = new QPushButton(QStringLiteral("Расчитать"), this);

    auto* ratioGroup = new QGroupBox(this);
    auto* ratioGrid = new QGridLayout(ratioGroup);
    for (int i = 0; i < 4; ++i) {
        ratios_[i] = figureBox(ratioGroup);
        ratioGrid->addWidget(new QLabel(QString::fromUtf8(kRatioLabels[i]), ratioGroup), i, 0);
        ratioGrid->addWidget(ratios_[i], i, 1);
    }
    auto* growthGroup = new QGroupBox(this);
    auto* growthGrid = new QGridLayout(growthGroup);
    for (std::size_t g = 0; g < kOilGasCount; ++g) {
        growth_[g] = figureBox(growthGroup);
        const int row = static_cast<int>(g % 4), col = static_cast<int>(g / 4) * 2;
        growthGrid->addWidget(new QLabel(QString::fromUtf8(kGrowthLabels[g]), growthGroup), row,
                              col);
        growthGrid->addWidget(growth_[g], row, col + 1);
    }
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setMaximumHeight(text_->fontMetrics().height() * 3 + 12);

    auto* middle = new QHBoxLayout;
    middle->addWidget(table_, 3);
    auto* right = new QVBoxLayout;
    right->addWidget(chart_, 1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(merge_);
    actions->addWidget(calculate_);
    right->addLayout(actions);
    right->addWidget(ratioGroup);
    middle->addLayout(right, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(growthGroup);
    layout->addWidget(text_);
    layout->addWidget(buttons);

    connect(stations_, &QComboBox::activated, this, &CTransformOilDlg::selectStation);
    connect(places_, &QComboBox::activated, this, &CTransformOilDlg::loadPoint);
    connect(merge_, &QPushButton::clicked, this, &CTransformOilDlg::mergeSameMoment);
    connect(calculate_, &QPushButton::clicked, this, &CTransformOilDlg::calculate);
    connect(table_, &QTableWidget::currentCellChanged, this, &CTransformOilDlg::currentCellChanged);

    fillTable();
    if (db_ != nullptr) {
        db::CStationSet set(*db_);
        if (const Status s = set.open(); !s) {
            showFailure(this, s);
        } else {
            for (const auto& row : set.rows)
                stations_->addItem(q(row.station), row.keyStation);
        }
    }
    if (stations_->count() > 0)
        selectStation(0);
    updateButtons();
    resize(1000, 640);
}

void CTransformOilDlg::selectStation(int index) {
    stations_->setCurrentIndex(index);
    places_->clear();
    loaded_ = false;
    sameMoment_ = false;
    if (db_ != nullptr && index >= 0) {
        db::CPlaceSet set(*db_);
        if (const Status s = set.open(stations_->itemData(index).toInt()); !s) {
            showFailure(this, s);
        } else {
            for (const auto& row : set.rows)
                places_->addItem(q(row.place), row.keyPlace);
        }
    }
    // Both buttons wait for a point of the new station.
    merge_->setEnabled(false);
    calculate_->setEnabled(false);
}

void CTransformOilDlg::loadPoint(int index) {
    places_->setCurrentIndex(index);
    text_->clear();
    const std::string place = places_->itemText(index).toStdString();
    if (place.empty() || db_ == nullptr)
        return;
    const std::string station = stations_->currentText().toStdString();
    auto rows = db::loadPointHistory(*db_, station, place, now_());
    if (!rows) {
        showFailure(this, rows.status());
        return;
    }
    std::vector<OilSampleResults> samples;
    samples.reserve(rows->size());
    for (const db::PointHistoryAnalysis& a : *rows) {
        OilSampleResults s{a.date, {}};
        for (const auto& r : a.results) {
            if (r.value)
                s.results.push_back({r.parametr, *r.value});
        }
        samples.push_back(std::move(s));
    }
    history_ = buildOilHistory(samples, gases_);
    sameMoment_ = hasSameMoment(history_);
    loaded_ = true;
    fillTable();
    updateButtons();
}

void CTransformOilDlg::mergeSameMoment() {
    if (history_.empty())
        return;
    zelmora::mergeSameMoment(history_);
    sameMoment_ = false;
    fillTable();
    updateButtons();
}

void CTransformOilDlg::fillTable() {
    const QSignalBlocker block(table_);
    clearFigures();
    table_->clear();
    QStringList header{QStringLiteral("Дата")};
    for (const OilGas& g : gases_)
        header << q(g.name);
    table_->setHorizontalHeaderLabels(header);
    table_->setRowCount(static_cast<int>(history_.size()));
    for (int i = 0; i < static_cast<int>(history_.size()); ++i) {
        const OilAnalysis& a = history_[static_cast<std::size_t>(i)];
        table_->setItem(i, 0, new QTableWidgetItem(q(oilDateText(a.moment))));
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            auto* item = new QTableWidgetItem(q(text::format("%.5f", a.gases[g].value)));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            switch (oilCellTint(a.gases[g].value, gases_[g].boundary)) {
                case OilCellTint::High:
                    item->setBackground(QColor(255, 159, 159));
                    break;
                case OilCellTint::Notable:
                    item->setBackground(QColor(255, 191, 191));
                    break;
                case OilCellTint::None:
                    item->setBackground(Qt::white);
                    break;
            }
            table_->setItem(i, 1 + static_cast<int>(g), item);
        }
    }
    table_->resizeColumnsToContents();
    // The latest analysis, first gas: what the operator usually diagnoses.
    if (!history_.empty())
        table_->setCurrentCell(static_cast<int>(history_.size()) - 1, 1);
    showChart();
}

void CTransformOilDlg::updateButtons() {
    merge_->setEnabled(sameMoment_);
    calculate_->setEnabled(!sameMoment_ && loaded_ && !history_.empty());
}

void CTransformOilDlg::clearFigures() {
    diagnosis_.reset();
    for (QLineEdit* box : ratios_)
        box->setText(kNotCalculated);
    for (QLineEdit* box : growth_)
        box->setText(kNotCalculated);
    text_->clear();
}

void CTransformOilDlg::selectCell(int k, int column) {
    table_->setCurrentCell(k, column);
}

void CTransformOilDlg::currentCellChanged(int row, int, int previousRow, int) {
    if (row != previousRow)
        clearFigures();
    showChart();
}

void CTransformOilDlg::showChart() {
    const int k = table_->currentRow();
    const int g = table_->currentColumn() - 1;
    if (sameMoment_ || k < 0 || g < 0 || g >= static_cast<int>(kOilGasCount)) {
        // Until merged, or with the date column selected, there is no gas to draw.
        chart_->setData({}, kDefaultX, kDefaultY);
        return;
    }
    chart_->setData(oilChartPoints(history_, k, g),
                    kDefaultX + QStringLiteral(": ") +
                        q(oilDateText(history_[static_cast<std::size_t>(k)].moment)),
                    kDefaultY + QStringLiteral(": ") + q(gases_[static_cast<std::size_t>(g)].name));
}

void CTransformOilDlg::calculate() {
    if (sameMoment_ || !loaded_)
        return;
    const int k = table_->currentRow();
    const OilDiagnosis d = DiagnoseOil(history_, k, gases_);
    clearFigures();
    if (d.code == kOilNoAnalysis) {
        text_->setPlainText(q(d.text()));
        return;
    }
    for (std::size_t g = 0; g < kOilGasCount; ++g) {
        const OilGrowth& gr = d.growth[g];
        growth_[g]->setText(gr.known
                                ? q(text::format("%.4f %%об/мес, %.3f%%", gr.rate, gr.relative))
                                : QStringLiteral("нет: менее суток от предыдущего"));
    }
    if (d.ratios) {
        const std::optional<double>* r[4] = {&d.ratios->p, &d.ratios->q, &d.ratios->r,
                                             &d.ratios->s};
        for (int i = 0; i < 4; ++i)
            ratios_[i]->setText(*r[i] ? q(text::format("%.5f", **r[i]))
                                      : QStringLiteral("нет (делитель 0)"));
    } else {
        for (QLineEdit* box : ratios_)
            box->setText(QStringLiteral("не нужны: все газы ниже границы"));
    }
    text_->setPlainText(q(d.text()));
    diagnosis_ = d;
}

void ShowTransformOilDialog(QWidget* parent) {
    db::Connection* db = passportCatalogue();
    if (db == nullptr) {
        showMessage({parent, QMessageBox::Warning, QStringLiteral("Zelmora"),
                     QStringLiteral("База данных анализов не открыта.")});
        return;
    }
    CTransformOilDlg dlg(db, programOptions().oilGases, parent);
    dlg.exec();
}

}  // namespace zelmora::gui
