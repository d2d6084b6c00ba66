// The method pages and dialogs the chromatogram commands show: the filter
// page, the marking page with its timetable "События", and "Добавить событие"
// in its two forms — their enabling rules, their ranges and what they hand
// back.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

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
