// The method pages and dialogs the chromatogram commands show: the filter
// page, the marking page with its timetable "События", and "Добавить событие"
// in its two forms — their enabling rules, their ranges and what they hand
// back; "Подобрать" on the marking page over a chromatogram's trace.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <cmath>
#include <random>

#include "document/signal.h"
#include "processing/marking_proposal.h"

#include "gui/document/chromatogram_prompts.h"
#include "gui/method/add_event_dlg.h"
#include "gui/method/mtd_filtering_pg.h"
#include "gui/method/mtd_peeks_pg.h"
#include "gui/method/peak_events_dlg.h"
#include "gui/method/single_page_sheet.h"
#include "gui/number_edit.h"
#include "gui_test_support.h"

using zelmora::FilterSettings;
using zelmora::MarkingParameters;
using zelmora::PeakEvent;
using zelmora::gui::CAddEventDlg;
using zelmora::gui::CMtdFilteringPg;
using zelmora::gui::CMtdPeeksPg;
using zelmora::gui::CPeakEventsDlg;
using zelmora::guitest::MessageLog;

namespace {

// Ten minutes at 5 points per second: a gently drifting baseline with
// 0.02 mV of white noise and five Gaussian peaks of 0.05 min FWHM.
zelmora::Signal syntheticTrace() {
    zelmora::Signal s;
    s.t0 = 0;
    s.dt = 1.0 / 300.0;
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double sigma = 0.05 / 2.3548;
    const double times[] = {1.5, 3.0, 4.5, 6.5, 8.0};
    const double heights[] = {5, 12, 3, 20, 8};
    for (int i = 0; i < 3000; ++i) {
        const double t = i * s.dt;
        double v = 1.0 + 0.01 * t + noise(gen);
        for (int k = 0; k < 5; ++k)
            v += heights[k] * std::exp(-0.5 * std::pow((t - times[k]) / sigma, 2));
        s.samples.push_back(static_cast<float>(v));
    }
    return s;
}

// The box holds the value within the six digits it is written with.
bool holds(const zelmora::gui::NumberEdit* box, float expected) {
    const std::optional<double> v = box->value();
    return v && std::abs(*v - expected) <= 1e-5 * std::max(1.0, std::abs(double(expected)));
}

}  // namespace

class MethodPagesTest : public QObject {
    Q_OBJECT
  private slots:
    void filterPageEnablesTheThresholdForSpikeRemovalOnly() {
        FilterSettings s;
        s.kind = 1;
        s.window = 2.0f;
        s.threshold = 0.3f;
        CMtdFilteringPg page(s);
        QCOMPARE(page.kinds()->checkedId(), 1);
        QVERIFY(page.kinds()->button(2)->isHidden());  // not offered for new choices
        QVERIFY(!page.threshold()->isEnabled());
        QCOMPARE(page.window()->text(), QStringLiteral("2"));
        // The threshold is not checked while it does not apply.
        page.threshold()->setText(QStringLiteral("oops"));
        page.kinds()->button(4)->setChecked(true);
        page.window()->setText(QStringLiteral("1,5"));
        QVERIFY(page.takeValues());
        QCOMPARE(page.settings().kind, 4);
        QCOMPARE(page.settings().window, 1.5f);
        QCOMPARE(page.settings().threshold, 0.3f);

        MessageLog log;
        page.window()->setText(QStringLiteral("601"));
        QVERIFY(!page.takeValues());
        QVERIFY(log.saw(QStringLiteral("от 0 до 600")));
        QCOMPARE(page.settings().window, 1.5f);  // nothing taken

        // A method that carries spike removal shows it, with its threshold.
        s.kind = 2;
        CMtdFilteringPg spikes(s);
        QVERIFY(!spikes.kinds()->button(2)->isHidden());
        QVERIFY(spikes.threshold()->isEnabled());
        spikes.threshold()->setText(QStringLiteral("11"));
        QVERIFY(!spikes.takeValues());
        QVERIFY(log.saw(QStringLiteral("от 0 до 10")));
        spikes.kinds()->button(0)->setChecked(true);
        QVERIFY(!spikes.threshold()->isEnabled());
        QVERIFY(spikes.takeValues());
        QCOMPARE(spikes.settings().kind, 0);
    }

    void markingPageChecksItsRangesAndKeepsTheEvents() {
        MarkingParameters p;
        p.Width = 0.2f;
        p.MinHeight = 0.5f;
        p.events.push_back({0, 1.0, 0, 0});
        CMtdPeeksPg page(p);
        QCOMPARE(page.field(CMtdPeeksPg::kWidth)->text(), QStringLiteral("0.2"));
        QCOMPARE(page.field(CMtdPeeksPg::kMinHeight)->text(), QStringLiteral("0.5"));
        QCOMPARE(page.field(CMtdPeeksPg::kMaxWidth)->text(), QStringLiteral("5"));

        MessageLog log;
        page.field(CMtdPeeksPg::kMarkingStart)->setText(QStringLiteral("241"));
        QVERIFY(!page.takeValues());
        QVERIFY(log.saw(QStringLiteral("от 0 до 240")));
        page.field(CMtdPeeksPg::kMarkingStart)->setText(QStringLiteral("240"));
        page.field(CMtdPeeksPg::kWidth)->setText(QStringLiteral("-0.1"));
        QVERIFY(!page.takeValues());
        QCOMPARE(page.parameters().MarkingStart, 0.1f);  // nothing taken on failure
        page.field(CMtdPeeksPg::kWidth)->setText(QStringLiteral("0,05"));
        // Only the common-baseline distance may be negative.
        page.field(CMtdPeeksPg::kMaxCommonBaselineDistance)->setText(QStringLiteral("-2"));
        page.field(CMtdPeeksPg::kMaxRiderArea)->setText(QStringLiteral("0.3"));
        page.field(CMtdPeeksPg::kWidthDoublingTime)->setText(QStringLiteral("4"));
        page.field(CMtdPeeksPg::kMinArea)->setText(QStringLiteral("0.02"));
        page.field(CMtdPeeksPg::kMaxWidth)->setText(QStringLiteral("3"));
        page.field(CMtdPeeksPg::kMinHeight)->setText(QStringLiteral("1"));

        // "События" edits the page's copy of the timetable.
        page.editEvents = [](std::vector<PeakEvent>& events) {
            events.push_back({6, 2.0, 0.2, 1});
        };
        page.eventsButton()->click();
        QVERIFY(page.takeValues());
        const MarkingParameters& r = page.parameters();
        QCOMPARE(r.MarkingStart, 240.0f);
        QCOMPARE(r.Width, 0.05f);
        QCOMPARE(r.MaxCommonBaselineDistance, -2.0f);
        QCOMPARE(r.MaxRiderArea, 0.3f);
        QCOMPARE(r.WidthDoublingTime, 4.0f);
        QCOMPARE(r.MinArea, 0.02f);
        QCOMPARE(r.MaxWidth, 3.0f);
        QCOMPARE(r.MinHeight, 1.0f);
        QCOMPARE(r.events.size(), std::size_t{2});
        QCOMPARE(r.events[1].kind, 6);

        // The sheet closes with OK only when the page took its values.
        auto* sheetPage = new CMtdPeeksPg(p);
        zelmora::gui::CSinglePageSheet sheet(QStringLiteral("Авторазметка"), sheetPage,
                                             QStringLiteral("Авторазметка"),
                                             [sheetPage] { return sheetPage->takeValues(); });
        sheetPage->field(CMtdPeeksPg::kMinArea)->setText(QStringLiteral("x"));
        QVERIFY(!sheet.tryAccept());
        sheetPage->field(CMtdPeeksPg::kMinArea)->setText(QStringLiteral("0.1"));
        QVERIFY(sheet.tryAccept());
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
    }

    void proposeFillsTheBoxesFromTheTraceAndWaitsForOk() {
        MarkingParameters p;
        p.MaxRiderArea = 0.7f;
        p.events.push_back({0, 1.0, 0, 0});
        // Without a chromatogram (the method editor) there is nothing to ask.
        CMtdPeeksPg bare(p);
        QVERIFY(bare.proposeButton()->isHidden());
        QVERIFY(!bare.proposeFromTrace());

        const zelmora::Signal trace = syntheticTrace();
        const auto expected = zelmora::ProposeMarking(trace, p);
        QVERIFY(expected.ok());
        const MarkingParameters& e = expected->parameters;
        QVERIFY(e.Width != p.Width);  // the proposal differs from the defaults
        QVERIFY(e.MinHeight != p.MinHeight);

        CMtdPeeksPg page(p);
        page.setTrace(&trace);
        QVERIFY(!page.proposeButton()->isHidden());
        QVERIFY(page.proposeButton()->isEnabled());
        page.proposeButton()->click();
        QVERIFY(holds(page.field(CMtdPeeksPg::kWidth), e.Width));
        QVERIFY(holds(page.field(CMtdPeeksPg::kWidthDoublingTime), e.WidthDoublingTime));
        QVERIFY(holds(page.field(CMtdPeeksPg::kMinHeight), e.MinHeight));
        QVERIFY(holds(page.field(CMtdPeeksPg::kMinArea), e.MinArea));
        QVERIFY(holds(page.field(CMtdPeeksPg::kMaxWidth), e.MaxWidth));
        QVERIFY(holds(page.field(CMtdPeeksPg::kMaxRiderArea), 0.7f));  // others kept
        // The note says what the trace showed; the tooltip gives every reason.
        QVERIFY(!page.proposalNote()->isHidden());
        QVERIFY(page.proposalNote()->text().contains(QStringLiteral("Шум базовой линии")));
        QVERIFY(page.proposalNote()->text().contains(QStringLiteral("ширина узких пиков")));
        QVERIFY(page.proposalNote()->toolTip().contains(QStringLiteral("Минимальная высота")));
        // Nothing is taken before OK.
        QCOMPARE(page.parameters().Width, p.Width);
        QCOMPARE(page.parameters().MinHeight, p.MinHeight);

        page.resize(520, 560);
        page.show();
        QCoreApplication::processEvents();
        const QImage img = page.grab().toImage();
        const QString png = QDir::current().filePath(QStringLiteral("marking_page_proposed.png"));
        QVERIFY(img.save(png));
        qInfo("marking page written to %s", qPrintable(png));

        // A trace too short to judge leaves the boxes as they were and says why.
        zelmora::Signal tiny;
        tiny.dt = 0.01;
        tiny.samples.assign(5, 1.0f);
        CMtdPeeksPg small(p);
        small.setTrace(&tiny);
        QVERIFY(!small.proposeFromTrace());
        QVERIFY(holds(small.field(CMtdPeeksPg::kWidth), p.Width));
        QVERIFY(small.proposalNote()->text().startsWith(QStringLiteral("Подобрать нельзя")));

        // Through the chromatogram's prompt: pressed, then confirmed with OK,
        // the proposal (with the method's events) is handed back; cancelled,
        // nothing is.
        zelmora::gui::ChromatogramPrompts prompts;
        prompts.setTrace(&trace);
        bool cancel = false;
        prompts.runDialog = [&](QDialog& d) {
            auto* shown = d.findChild<CMtdPeeksPg*>();
            if (shown == nullptr || shown->proposeButton()->isHidden())
                return int(QDialog::Rejected);
            shown->proposeButton()->click();
            if (cancel)
                return int(QDialog::Rejected);
            return static_cast<zelmora::gui::CSinglePageSheet&>(d).tryAccept()
                       ? int(QDialog::Accepted)
                       : int(QDialog::Rejected);
        };
        MarkingParameters kept = p;
        cancel = true;
        QVERIFY(!prompts.editMarking(kept));
        QCOMPARE(kept.Width, p.Width);
        cancel = false;
        MarkingParameters taken = p;
        QVERIFY(prompts.editMarking(taken));
        QVERIFY(std::abs(taken.Width - e.Width) <= 1e-5f * std::max(1.0f, e.Width));
        QVERIFY(std::abs(taken.MinHeight - e.MinHeight) <= 1e-5f * std::max(1.0f, e.MinHeight));
        QVERIFY(std::abs(taken.MinArea - e.MinArea) <= 1e-5f * std::max(1.0f, e.MinArea));
        QCOMPARE(taken.events.size(), std::size_t{1});
        prompts.setTrace(nullptr);
        MarkingParameters none = p;
        QVERIFY(!prompts.editMarking(none));  // the button is hidden there
    }

    void timetableListsEditsAndReplaces() {
        QCOMPARE(zelmora::gui::peakEventLine({0, 1.5, 0, 0}),
                 QStringLiteral("Запретить разметку пиков с 1.500 мин"));
        QCOMPARE(zelmora::gui::peakEventLine({6, 2.0, 0.2, 1}),
                 QStringLiteral("Установить ширину 0.200 с 2.000 мин"));

        CPeakEventsDlg dlg({{0, 1.0, 0, 0}, {1, 2.0, 0, 0}, {7, 3.0, 0.5, 1}});
        QCOMPARE(dlg.list()->count(), 3);
        std::optional<PeakEvent> next = PeakEvent{2, 4.0, 0, 0};
        dlg.askEvent = [&] { return next; };
        // "Удалить" and "Заменить" need a selection.
        dlg.list()->setCurrentRow(-1);
        dlg.deleteSelected();
        dlg.replaceSelected();
        QCOMPARE(dlg.events().size(), std::size_t{3});
        // "Заменить" on the first entry puts the new one at the end.
        dlg.list()->setCurrentRow(0);
        dlg.replaceSelected();
        QCOMPARE(dlg.events().size(), std::size_t{3});
        QCOMPARE(dlg.events()[0].kind, 1);
        QCOMPARE(dlg.events()[2].kind, 2);
        QCOMPARE(dlg.list()->item(2)->text(), QStringLiteral("Объединить пики с 4.000 мин"));
        // A replacement given up keeps the old entry.
        next.reset();
        dlg.list()->setCurrentRow(1);
        dlg.replaceSelected();
        QCOMPARE(dlg.events().size(), std::size_t{3});
        QCOMPARE(dlg.events()[1].kind, 7);
        dlg.list()->setCurrentRow(1);
        dlg.deleteSelected();
        QCOMPARE(dlg.events().size(), std::size_t{2});
        QCOMPARE(dlg.list()->count(), 2);
        QCOMPARE(dlg.events()[1].kind, 2);
        next = PeakEvent{9, 5.0, 0.01, 1};
        dlg.addEvent();
        QCOMPARE(dlg.events().back().kind, 9);
        QCOMPARE(dlg.list()->count(), 3);
    }

    void addEventDialogFollowsTheKind() {
        CAddEventDlg dlg(CAddEventDlg::Mode::Timetable);
        QCOMPARE(dlg.choices()->count(), 11);
        QCOMPARE(dlg.choice(), 0);
        QVERIFY(!dlg.valueEdit()->isEnabled());
        QCOMPARE(dlg.valueLabel()->text(), QStringLiteral("Дополнительный параметр"));
        QVERIFY(dlg.toEdit() == nullptr);
        dlg.setChoice(6);
        QVERIFY(dlg.valueEdit()->isEnabled());
        QCOMPARE(dlg.valueLabel()->text(), QStringLiteral("Ширина"));
        dlg.setFrom(1.25);
        dlg.setValue(0.3);
        QVERIFY(dlg.takeValues());
        const PeakEvent e = dlg.event();
        QCOMPARE(e.kind, 6);
        QCOMPARE(e.time, 1.25);
        QCOMPARE(e.value, 0.3);
        QCOMPARE(int(e.flag), 1);
        dlg.setChoice(3);
        QVERIFY(dlg.takeValues());
        QCOMPARE(int(dlg.event().flag), 0);
        QCOMPARE(dlg.event().value, 0.0);

        // Over an interval: two zones, then the seven parameters.
        CAddEventDlg interval(CAddEventDlg::Mode::Interval);
        QCOMPARE(interval.choices()->count(), 9);
        QVERIFY(interval.toEdit() != nullptr);
        QCOMPARE(interval.kindOf(1), 2);
        QCOMPARE(interval.kindOf(2), 4);
        interval.setChoice(2);
        QCOMPARE(interval.valueLabel()->text(), QStringLiteral("Максимальная ширина"));
        MessageLog log;
        interval.setValue(-1);
        QVERIFY(!interval.takeValues());  // a width cannot be negative
        interval.setChoice(3);
        QCOMPARE(interval.valueLabel()->text(),
                 QStringLiteral("Макс.расст.между пиками с общ.баз.линией"));
        QVERIFY(interval.takeValues());
        QCOMPARE(interval.value(), -1.0);
        interval.toEdit()->setText(QStringLiteral("later"));
        QVERIFY(!interval.takeValues());

        // The chromatogram's prompt hands the dialog's answer back.
        zelmora::gui::ChromatogramPrompts prompts;
        prompts.runDialog = [](QDialog& d) {
            auto& e = static_cast<CAddEventDlg&>(d);
            e.setChoice(1);
            e.toEdit()->setText(QStringLiteral("3,5"));
            return e.takeValues() ? QDialog::Accepted : QDialog::Rejected;
        };
        zelmora::EventRequest request;
        request.from = 1.0;
        request.to = 2.0;
        QVERIFY(prompts.editEvent(request));
        QCOMPARE(request.choice, 1);
        QCOMPARE(request.from, 1.0);
        QCOMPARE(request.to, 3.5);
        prompts.runDialog = [](QDialog&) { return int(QDialog::Rejected); };
        QVERIFY(!prompts.editEvent(request));
        FilterSettings f;
        QVERIFY(!prompts.editFilter(f));
    }
};

QTEST_MAIN(MethodPagesTest)
#include "method_pages_test.moc"
