#pragma once
// "Расчет трансформаторного масла": the dissolved-gas history of one
// transformer (a sampling point of the analyses database) as a table of the
// seven gas concentrations by sampling date, each cell tinted by its share of
// the gas's boundary concentration; analyses of one sampling moment merged
// ("Объеденить / Усреднить") before anything is calculated; for the analysis
// of the selected row ("Расчитать") each gas's growth since the previous
// analysis, the four ratios and the diagnosis; and a chart of the selected
// gas over the selected analysis and the two before it.
//
// The dialog reads the database and the gas list and writes nothing. Any
// change of the selected analysis clears the figures of the previous one, so
// that no ratio or growth is ever shown beside an analysis it was not
// calculated for.

#include <QDialog>
#include <QWidget>
#include <ctime>
#include <functional>

#include "calc/transformer_oil.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace zelmora::db {
class Connection;
}

namespace zelmora::gui {

// The small chart of the dialog: a blue curve through the points and the
// origin marked in black, with the two axis titles.
class COilChart : public QWidget {
    Q_OBJECT
  public:
    explicit COilChart(QWidget* parent = nullptr);
    void setData(std::vector<OilChartPoint> points, QString xTitle, QString yTitle);
    const std::vector<OilChartPoint>& points() const { return points_; }
    const QString& xTitle() const { return xTitle_; }
    const QString& yTitle() const { return yTitle_; }
    QSize sizeHint() const override { return {320, 220}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<OilChartPoint> points_;
    QString xTitle_, yTitle_;
};

class CTransformOilDlg : public QDialog {
    Q_OBJECT
  public:
    // `db` may be null (no database open: the lists stay empty). `now` gives
    // today for the history's upper bound.
    CTransformOilDlg(
        db::Connection* db, const OilGasList& gases, QWidget* parent = nullptr,
        std::function<std::time_t()> now = [] { return std::time(nullptr); });

    // A station chosen in the first combo box: its points fill the second.
    void selectStation(int index);
    // A point chosen in the second (its list closed on it): its analyses load.
    void loadPoint(int index);
    void mergeSameMoment();  // "Объеденить / Усреднить"
    void calculate();        // "Расчитать"
    // Selects the cell of analysis `k`, gas column `column` (0 the date).
    void selectCell(int k, int column);

    const std::vector<OilAnalysis>& history() const { return history_; }
    bool sameMoment() const { return sameMoment_; }
    // The last calculation, while it belongs to the selected analysis.
    const std::optional<OilDiagnosis>& diagnosis() const { return diagnosis_; }

    QComboBox* stationBox() const { return stations_; }
    QComboBox* placeBox() const { return places_; }
    QTableWidget* table() const { return table_; }
    QPushButton* mergeButton() const { return merge_; }
    QPushButton* calculateButton() const { return calculate_; }
    // p, q, r, s in the order of their labels.
    QLineEdit* ratioBox(int i) const { return ratios_[i]; }
    QLineEdit* growthBox(int gas) const { return growth_[gas]; }
    QPlainTextEdit* diagnosisBox() const { return text_; }
    COilChart* chart() const { return chart_; }

  private:
    void fillTable();
    void updateButtons();
    void clearFigures();
    void showChart();
    void currentCellChanged(int row, int column, int previousRow, int previousColumn);

    db::Connection* db_ = nullptr;
    OilGasList gases_;
    std::function<std::time_t()> now_;
    std::vector<OilAnalysis> history_;
    bool sameMoment_ = false;
    bool loaded_ = false;
    std::optional<OilDiagnosis> diagnosis_;

    QComboBox* stations_ = nullptr;
    QComboBox* places_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* merge_ = nullptr;
    QPushButton* calculate_ = nullptr;
    QLineEdit* ratios_[4] = {};
    QLineEdit* growth_[kOilGasCount] = {};
    QPlainTextEdit* text_ = nullptr;
    COilChart* chart_ = nullptr;
};

// "Расчет &трансформаторного масла...": the dialog over the program's open
// database and the options' gas list.
void ShowTransformOilDialog(QWidget* parent);

}  // namespace zelmora::gui
