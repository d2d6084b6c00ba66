#include "gui/document/zelmora_view.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "app/program_settings.h"
#include "app/text.h"
#include "document/zelmora_doc.h"
#include "gui/command_table.h"
#include "gui/document/view_clipboard.h"
#include "gui/document/view_drawing.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"
#include "processing/peak_integration.h"
#include "processing/signal_helpers.h"

namespace zelmora::gui {
namespace {

// A line of scrolling: a tenth of the visible span.
constexpr double kLine = 0.1;
// A zoom frame smaller than this (pixels, either side) is a click.
constexpr int kFrameMinimum = 4;

bool same(double a, double b, double span) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(span));
}

}  // namespace

struct CZelmoraView::State {
    State(CZelmoraDoc& d, ChromatogramCommands& c) : doc(d), commands(c) {}

    CZelmoraDoc& doc;
    ChromatogramCommands& commands;
    int listener = 0;

    int selected = -1;
    Tool tool = Tool::None;
    // Two-click tools: 1 waiting for the first time, 2 for the second; the
    // unresolved tool: the side (1 left, 2 right).
    int step = 0;
    double firstTime = 0;
    bool dragging = false;
    int grip = 0;  // with no tool: 1 start, 2 end of the selected peak under the mouse
    bool nearGrip = false;
    bool trackShown = false;
    double trackX = 0;

    double t0 = 0, t1 = 1, y0 = 0, y1 = 1;  // visible ranges
    double fullT0 = 0, fullT1 = 1, fullY0 = 0, fullY1 = 1;

    ViewGeometry geometry;
    QSize geometrySize;
    bool geometryDirty = true;
    RetentionWindows windows;
    ChromatogramPicture picture;
    int markPeek = 0;  // of the last drawing, for the grips

    QImage image;  // the picture without the tracking line and zoom frame
    bool imageDirty = true;
    QRegion overlayRequests;  // repaints that only move the tracking line or frame

    bool framing = false;
    bool frameShown = false;
    Qt::MouseButton frameButton = Qt::NoButton;
    QPoint frameFrom, frameTo;
    std::vector<std::array<double, 4>> history;  // earlier zooms, for a right click

    int wheelRest = 0;
    bool shownOnce = false;
    QString cursorText;

    const ViewGeometry& geo(const QWidget& w) {
        if (geometryDirty || geometrySize != w.size()) {
            geometry = picture.layout(QSizeF(w.size()), t0, t1, y0, y1);
            geometrySize = w.size();
            geometryDirty = false;
        }
        return geometry;
    }
    const Peak* selectedPeak() const { return doc.peak(selected); }
    bool twoClickTool() const {
        return tool == Tool::AddPeak || tool == Tool::EventInterval || tool == Tool::CropInterval;
    }
};

CZelmoraView::CZelmoraView(CZelmoraDoc& doc, ChromatogramCommands& commands, QWidget* parent)
    : QWidget(parent), s_(std::make_unique<State>(doc, commands)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(ChromatogramPicture::viewFont());
    setMinimumSize(200, 150);
    computeFullRanges();
    s_->t0 = s_->fullT0;
    s_->t1 = s_->fullT1;
    s_->y0 = s_->fullY0;
    s_->y1 = s_->fullY1;
    s_->listener =
        doc.subscribe([this](CZelmoraDoc::Change change) { viewUpdate(static_cast<int>(change)); });
}

CZelmoraView::~CZelmoraView() {
    s_->doc.unsubscribe(s_->listener);
}

// --- commands

CZelmoraDoc& CZelmoraView::document() const {
    return s_->doc;
}

ChromatogramCommands& CZelmoraView::commands() const {
    return s_->commands;
}

bool CZelmoraView::idle() const {
    return s_->tool == Tool::None && !s_->dragging;
}

int CZelmoraView::unresolvedSide() const {
    return s_->tool == Tool::Unresolved ? s_->step : 0;
}

void CZelmoraView::showAll() {
    const State& s = *s_;
    setRanges(s.fullT0, s.fullT1, s.fullY0, s.fullY1);
}

void CZelmoraView::showAllTimes() {
    const State& s = *s_;
    setRanges(s.fullT0, s.fullT1, s.y0, s.y1);
}

void CZelmoraView::showAllHeights() {
    const State& s = *s_;
    setRanges(s.t0, s.t1, s.fullY0, s.fullY1);
}

bool CZelmoraView::deleteSelectedPeak() {
    State& s = *s_;
    const int k = s.selected;
    leaveTools();
    s.selected = -1;
    emit selectionChanged(-1);
    // The document's change runs the view update, which selects the first
    // of the remaining peaks.
    const bool ok = s.commands.DeletePeakAt(k);
    if (!ok) {
        failEdit();
        s.imageDirty = true;
        update();
        statesChanged();
    }
    return ok;
}

bool CZelmoraView::invertSelectedPeak() {
    const bool ok = s_->commands.InvertPeak(s_->selected);
    if (!ok)
        failEdit();
    return ok;
}

// --- selection, tools, state

int CZelmoraView::selectedPeak() const {
    return s_->selected;
}

void CZelmoraView::setSelectedPeak(int k) {
    State& s = *s_;
    const int valid = s.doc.peak(k) != nullptr ? k : -1;
    if (valid != s.selected) {
        s.selected = valid;
        // The grips belong to the peak selected before.
        s.grip = 0;
        s.nearGrip = false;
        s.imageDirty = true;
        update();
        statesChanged();
    }
    if (valid != k)
        emit selectionChanged(valid);
}

CZelmoraView::Tool CZelmoraView::tool() const {
    return s_->tool;
}

void CZelmoraView::selectPeak(int k) {
    State& s = *s_;
    s.selected = s.doc.peak(k) != nullptr ? k : -1;
    s.imageDirty = true;
    update();
    emit selectionChanged(s.selected);
    statesChanged();
}

void CZelmoraView::leaveTools() {
    State& s = *s_;
    if (s.twoClickTool() && s.step == 2)
        overlayUpdate(trackStrip(s.geo(*this).xOf(s.firstTime)));
    moveTrack(0, false);
    s.tool = Tool::None;
    s.step = 0;
    s.dragging = false;
    s.grip = 0;
    s.nearGrip = false;
    updateCursorShape();
    statesChanged();
}

void CZelmoraView::enterTool(Tool tool, int step) {
    State& s = *s_;
    s.tool = tool;
    s.step = step;
    s.dragging = false;
    s.grip = 0;
    s.nearGrip = false;
    // The tracking line appears with the next mouse move over the plot.
    moveTrack(0, false);
    updateCursorShape();
    statesChanged();
}

void CZelmoraView::failEdit() {
    QApplication::beep();
    emit editFailed();
}

void CZelmoraView::statesChanged() {
    emit commandStatesChanged();
}

void CZelmoraView::viewUpdate(int change) {
    State& s = *s_;
    const auto what = static_cast<CZelmoraDoc::Change>(change);
    const bool wasTimeFull = timeFull(), wasSignalFull = signalFull();
    s.framing = false;
    s.frameShown = false;
    leaveTools();
    if (what == CZelmoraDoc::Change::Signal || what == CZelmoraDoc::Change::Any) {
        s.picture.invalidateSignal();
        computeFullRanges();
        double t0 = std::max(s.t0, s.fullT0), t1 = std::min(s.t1, s.fullT1);
        if (wasTimeFull || !(t1 > t0)) {
            t0 = s.fullT0;
            t1 = s.fullT1;
        }
        double y0 = s.y0, y1 = s.y1;
        if (wasSignalFull) {
            y0 = s.fullY0;
            y1 = s.fullY1;
        }
        // Earlier zooms may lie outside a cropped trace.
        s.history.clear();
        setRanges(t0, t1, y0, y1);
    }
    if (s.doc.peak(s.selected) == nullptr)
        s.selected = s.doc.peakCount() > 0 ? 0 : -1;
    s.imageDirty = true;
    update();
    emit selectionChanged(s.selected);
    statesChanged();
}

// --- ranges

double CZelmoraView::visibleTimeFrom() const {
    return s_->t0;
}
double CZelmoraView::visibleTimeTo() const {
    return s_->t1;
}
double CZelmoraView::visibleSignalFrom() const {
    return s_->y0;
}
double CZelmoraView::visibleSignalTo() const {
    return s_->y1;
}

void CZelmoraView::setVisibleRange(double t0, double t1, double y0, double y1) {
    setRanges(t0, t1, y0, y1);
}

void CZelmoraView::computeFullRanges() {
    State& s = *s_;
    const Signal& sig = s.doc.signal;
    const std::size_t n = sig.size();
    if (n >= 2 && HasTimeBase(sig)) {
        s.fullT0 = sig.t0;
        s.fullT1 = sig.timeAt(static_cast<double>(n - 1));
    } else if (n == 1 && HasTimeBase(sig)) {
        s.fullT0 = sig.t0 - sig.dt;
        s.fullT1 = sig.t0 + sig.dt;
    } else {
        s.fullT0 = 0;
        s.fullT1 = 1;
    }
    if (!(s.fullT1 > s.fullT0) || !std::isfinite(s.fullT1 - s.fullT0)) {
        s.fullT0 = 0;
        s.fullT1 = 1;
    }
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
    std::lock_guard lock(s.doc.recordingMutex);
    for (float v : sig.samples) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (!(lo <= hi)) {
        s.fullY0 = 0;
        s.fullY1 = 1;
    } else if (lo == hi) {
        s.fullY0 = static_cast<double>(lo) - 1;
        s.fullY1 = static_cast<double>(hi) + 1;
    } else {
        const double margin = (static_cast<double>(hi) - lo) * 0.05;
        s.fullY0 = lo - margin;
        s.fullY1 = hi + margin;
    }
}

bool CZelmoraView::timeFull() const {
    const State& s = *s_;
    const double span = s.fullT1 - s.fullT0;
    return same(s.t0, s.fullT0, span) && same(s.t1, s.fullT1, span);
}

bool CZelmoraView::signalFull() const {
    const State& s = *s_;
    const double span = s.fullY1 - s.fullY0;
    return same(s.y0, s.fullY0, span) && same(s.y1, s.fullY1, span);
}

void CZelmoraView::setRanges(double t0, double t1, double y0, double y1) {
    State& s = *s_;
    const auto fix = [](double& lo, double& hi, double minimum, double fallbackLo,
                        double fallbackHi) {
        if (!std::isfinite(lo) || !std::isfinite(hi)) {
            lo = fallbackLo;
            hi = fallbackHi;
        }
        if (lo > hi)
            std::swap(lo, hi);
        if (!(hi - lo >= minimum)) {
            const double c = lo / 2 + hi / 2;
            lo = c - minimum / 2;
            hi = c + minimum / 2;
        }
    };
    const Signal& sig = s.doc.signal;
    const double timeMinimum = std::max(HasTimeBase(sig) ? 2 * sig.dt : 0.0,
                                        1e-9 * std::max({1.0, std::fabs(t0), std::fabs(t1)}));
    fix(t0, t1, timeMinimum, s.t0, s.t1);
    const double valueMinimum = 1e-6 * std::max({1.0, std::fabs(y0), std::fabs(y1)});
    fix(y0, y1, valueMinimum, s.y0, s.y1);
    if (t0 == s.t0 && t1 == s.t1 && y0 == s.y0 && y1 == s.y1)
        return;
    s.t0 = t0;
    s.t1 = t1;
    s.y0 = y0;
    s.y1 = y1;
    s.geometryDirty = true;
    s.imageDirty = true;
    update();
    statesChanged();
}

void CZelmoraView::scrollTime(double lines) {
    State& s = *s_;
    const double span = s.t1 - s.t0, full = s.fullT1 - s.fullT0;
    if (span > full)
        return;
    double a = s.t0 + lines * kLine * span;
    a = std::clamp(a, s.fullT0, std::max(s.fullT0, s.fullT1 - span));
    setRanges(a, a + span, s.y0, s.y1);
}

void CZelmoraView::scrollSignal(double lines) {
    State& s = *s_;
    if (signalFull())
        return;
    const double d = lines * kLine * (s.y1 - s.y0);
    setRanges(s.t0, s.t1, s.y0 + d, s.y1 + d);
}

void CZelmoraView::widenTime(double fractionEachSide) {
    State& s = *s_;
    const double span = s.t1 - s.t0;
    double a = s.t0 - fractionEachSide * span, b = s.t1 + fractionEachSide * span;
    if (fractionEachSide > 0) {
        // Nothing to see beyond the trace.
        a = std::max(a, std::min(s.t0, s.fullT0));
        b = std::min(b, std::max(s.t1, s.fullT1));
    }
    setRanges(a, b, s.y0, s.y1);
}

void CZelmoraView::moveTop(double fractionOfSpan) {
    State& s = *s_;
    setRanges(s.t0, s.t1, s.y0, s.y1 + fractionOfSpan * (s.y1 - s.y0));
}

void CZelmoraView::zoomToFrame(const QRect& frame) {
    State& s = *s_;
    const ViewGeometry& g = s.geo(*this);
    const double left = std::max<double>(frame.left(), g.plot.left);
    const double right = std::min<double>(frame.right(), g.plot.right);
    const double top = std::max<double>(frame.top(), g.plot.top);
    const double bottom = std::min<double>(frame.bottom(), g.plot.bottom);
    if (right - left < kFrameMinimum || bottom - top < kFrameMinimum)
        return;
    s.history.push_back({s.t0, s.t1, s.y0, s.y1});
    // A finished zoom ends a drag and the tools whose times were chosen on
    // the old scale.
    s.dragging = false;
    s.grip = 0;
    if (s.tool == Tool::AddPeak || s.tool == Tool::Unresolved)
        leaveTools();
    setRanges(g.timeAt(left), g.timeAt(right), g.valueAt(bottom), g.valueAt(top));
}

QRect CZelmoraView::plotRect() const {
    const ViewGeometry& g = s_->geo(*this);
    return QRect(QPoint(static_cast<int>(g.plot.left), static_cast<int>(g.plot.top)),
                 QPoint(static_cast<int>(g.plot.right), static_cast<int>(g.plot.bottom)));
}

double CZelmoraView::xOfTime(double t) const {
    return s_->geo(*this).xOf(t);
}

double CZelmoraView::yOfValue(double v) const {
    return s_->geo(*this).yOf(v);
}

double CZelmoraView::timeOfX(double x) const {
    return s_->geo(*this).timeAt(x);
}

// --- mouse

bool CZelmoraView::insidePlot(QPointF pos) const {
    const State& s = *s_;
    const ViewGeometry& g = s_->geo(*this);
    if (!g.plot.contains({pos.x(), pos.y()}))
        return false;
    const Signal& sig = s.doc.signal;
    if (sig.size() < 2 || !HasTimeBase(sig))
        return false;
    const double t = g.timeAt(pos.x());
    return t > sig.t0 && t < sig.timeAt(static_cast<double>(sig.size() - 1));
}

void CZelmoraView::findGrip(QPointF pos) {
    State& s = *s_;
    s.grip = 0;
    s.nearGrip = false;
    const Peak* p = s.selectedPeak();
    if (p == nullptr || !insidePlot(pos))
        return;
    const ViewGeometry& g = s.geo(*this);
    const double x = pos.x();
    // +-2 pixels: the means of the times at x and x -+ 4.
    const double a = (g.timeAt(x) + g.timeAt(x - 4)) / 2;
    const double b = (g.timeAt(x) + g.timeAt(x + 4)) / 2;
    s.grip = BoundHandle(s.doc.peaks, s.selected, a, b);
    if (s.grip == 0)
        return;
    const bool start = s.grip == 1;
    const double bound = start ? p->startTime : p->endTime;
    const double base = g.yOf(start ? p->baselineAtStart : p->baselineAtEnd);
    double upper = g.plot.top - 4;
    if (s.markPeek == 1) {
        const bool neighbour = start ? p->prevInGroup >= 0 : p->nextInGroup >= 0;
        double top = base - 28;
        if (neighbour) {
            std::lock_guard lock(s.doc.recordingMutex);
            top = g.yOf(SignalValueAt(s.doc.signal, bound)) - 4;
        }
        upper = top;
    }
    const double lower = base + 12;
    s.nearGrip = pos.y() >= std::min(upper, lower) && pos.y() <= std::max(upper, lower);
}

QRect CZelmoraView::trackStrip(double x) const {
    const ViewGeometry& g = s_->geo(*this);
    return QRect(static_cast<int>(std::floor(x)) - 2, static_cast<int>(g.plot.top) - 2, 5,
                 static_cast<int>(g.height()) + 5);
}

void CZelmoraView::moveTrack(double x, bool shown) {
    State& s = *s_;
    const ViewGeometry& g = s.geo(*this);
    shown = shown && x >= g.plot.left && x <= g.plot.right;
    if (shown == s.trackShown && (!shown || x == s.trackX))
        return;
    if (s.trackShown)
        overlayUpdate(trackStrip(s.trackX));
    s.trackShown = shown;
    s.trackX = x;
    if (shown)
        overlayUpdate(trackStrip(x));
}

void CZelmoraView::overlayUpdate(const QRect& r) {
    s_->overlayRequests += r;
    update(r);
}

void CZelmoraView::updateCursorShape() {
    const State& s = *s_;
    if (s.dragging)
        setCursor(Qt::SplitHCursor);
    else if (s.tool != Tool::None)
        setCursor(Qt::CrossCursor);
    else if (s.grip != 0 && (s.markPeek != 1 || s.nearGrip))
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

void CZelmoraView::showCursorText(const QString& text) {
    if (text == s_->cursorText)
        return;
    s_->cursorText = text;
    emit cursorTextChanged(text);
}

void CZelmoraView::mouseMoveEvent(QMouseEvent* event) {
    State& s = *s_;
    const QPointF pos = event->position();
    const ViewGeometry& g = s.geo(*this);
    if (insidePlot(pos)) {
        showCursorText(QString::fromStdString(
            text::format("%.1f мВ; %.2f мин", g.valueAt(pos.y()), g.timeAt(pos.x()))));
    } else {
        showCursorText(QString());
    }
    if (s.framing) {
        const QRect before = QRect(s.frameFrom, s.frameTo).normalized();
        s.frameTo = pos.toPoint();
        if ((s.frameTo - s.frameFrom).manhattanLength() > kFrameMinimum)
            s.frameShown = true;
        overlayUpdate(
            before.united(QRect(s.frameFrom, s.frameTo).normalized()).adjusted(-2, -2, 2, 2));
        return;
    }
    if (s.dragging && !(event->buttons() & Qt::LeftButton)) {
        s.dragging = false;
        s.grip = 0;
        moveTrack(0, false);
        statesChanged();
    }
    if (s.tool != Tool::None || s.dragging)
        moveTrack(pos.x(), true);
    else
        findGrip(pos);
    updateCursorShape();
}

void CZelmoraView::mousePressEvent(QMouseEvent* event) {
    State& s = *s_;
    const QPointF pos = event->position();
    if (s.framing)
        return;
    const ViewGeometry& g = s.geo(*this);
    if (event->button() == Qt::RightButton) {
        if (g.plot.contains({pos.x(), pos.y()})) {
            s.framing = true;
            s.frameShown = false;
            s.frameButton = Qt::RightButton;
            s.frameFrom = s.frameTo = pos.toPoint();
        }
        return;
    }
    if (event->button() != Qt::LeftButton || !insidePlot(pos))
        return;
    const double t = g.timeAt(pos.x());
    if (s.twoClickTool() && s.step == 1) {
        // The first of the two times.
        s.firstTime = t;
        s.step = 2;
        moveTrack(pos.x(), true);
        overlayUpdate(trackStrip(pos.x()));
        return;
    }
    switch (s.tool) {
        case Tool::AddPeak: {
            const double first = s.firstTime;
            const bool ok = s.commands.AddPeakBetween(first, t);
            leaveTools();
            if (!ok)
                failEdit();
            return;
        }
        case Tool::Unresolved:
            if (s.commands.AddAdjacentPeakAt(s.selected, t, s.step))
                leaveTools();
            else
                failEdit();
            return;
        case Tool::EventInterval:
        case Tool::CropInterval: {
            const bool crop = s.tool == Tool::CropInterval;
            const double first = s.firstTime;
            leaveTools();
            // The event dialog may be cancelled: that is no failure.
            if (crop && !s.commands.CropTo(first, t))
                failEdit();
            if (!crop)
                s.commands.AddEventOver(first, t);
            return;
        }
        case Tool::None:
            break;
    }
    findGrip(pos);
    if (s.grip != 0) {
        const Peak* p = s.selectedPeak();
        s.dragging = true;
        moveTrack(g.xOf(s.grip == 1 ? p->startTime : p->endTime), true);
        updateCursorShape();
        statesChanged();
        return;
    }
    // Half a pixel either side; repeated clicks take overlapping peaks in turn.
    const double half = 0.5 * g.minutesPerPixel();
    int k = s.commands.FindNextPeak(t - half, t + half);
    if (k < 0)
        k = s.commands.FindPeak(t - half, t + half);
    selectPeak(k);
    // Dragging on from here draws a zoom frame.
    s.framing = true;
    s.frameShown = false;
    s.frameButton = Qt::LeftButton;
    s.frameFrom = s.frameTo = pos.toPoint();
}

void CZelmoraView::mouseReleaseEvent(QMouseEvent* event) {
    State& s = *s_;
    const QPointF pos = event->position();
    if (s.framing) {
        if (event->button() != s.frameButton)
            return;
        s.framing = false;
        const QRect frame = QRect(s.frameFrom, pos.toPoint()).normalized();
        overlayUpdate(
            frame.united(QRect(s.frameFrom, s.frameTo).normalized()).adjusted(-2, -2, 2, 2));
        const bool shown = s.frameShown;
        s.frameShown = false;
        if (shown && frame.width() >= kFrameMinimum && frame.height() >= kFrameMinimum) {
            zoomToFrame(frame);
        } else if (s.frameButton == Qt::RightButton && !s.history.empty()) {
            // A right click goes back to the zoom before.
            const auto r = s.history.back();
            s.history.pop_back();
            setRanges(r[0], r[1], r[2], r[3]);
        }
        return;
    }
    if (event->button() != Qt::LeftButton || !s.dragging)
        return;
    const int grip = s.grip;
    const int k = s.selected;
    s.dragging = false;
    s.grip = 0;
    moveTrack(0, false);
    const Peak* p = s.selectedPeak();
    if (p != nullptr && insidePlot(pos)) {
        const double t = s.geo(*this).timeAt(pos.x());
        const double start = p->startTime, end = p->endTime;
        const bool ok = grip == 1 ? s.commands.SetPeakBoundsAt(k, t, end)
                                  : s.commands.SetPeakBoundsAt(k, start, t);
        if (!ok)
            failEdit();
    }
    s.imageDirty = true;
    update();
    updateCursorShape();
    statesChanged();
}

// --- keys and wheel

void CZelmoraView::keyPressEvent(QKeyEvent* event) {
    State& s = *s_;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    // The shortcuts of the view's commands (Ins, Del, Ctrl+C, Ctrl+Ins) work
    // in the view on its own as well as under the main window's menus.
    if (const CommandEntry* c = viewCommandForKey(
            QKeySequence(QKeyCombination(mods, static_cast<Qt::Key>(event->key()))))) {
        runCommand(*c, {.view = this});
        return;
    }
    switch (event->key()) {
        case Qt::Key_Escape:
            if (s.framing) {
                overlayUpdate(QRect(s.frameFrom, s.frameTo).normalized().adjusted(-2, -2, 2, 2));
                s.framing = false;
                s.frameShown = false;
            }
            leaveTools();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down: {
            // Right and up move a line on in time or value, left and down a
            // line back. With Shift right narrows the time span a quarter
            // each side and up moves the top down by half the span; left and
            // down do the opposite.
            const int key = event->key();
            const bool time = key == Qt::Key_Left || key == Qt::Key_Right;
            const double on = key == Qt::Key_Right || key == Qt::Key_Up ? 1 : -1;
            if (time && shift)
                widenTime(-0.25 * on);
            else if (time)
                scrollTime(on);
            else if (shift)
                moveTop(-0.5 * on);
            else
                scrollSignal(on);
            return;
        }
        default:
            QWidget::keyPressEvent(event);
    }
}

void CZelmoraView::wheelEvent(QWheelEvent* event) {
    State& s = *s_;
    const QPoint angle = event->angleDelta();
    s.wheelRest += angle.y() != 0 ? angle.y() : angle.x();
    const int steps = s.wheelRest / 120;
    s.wheelRest %= 120;
    const Qt::KeyboardModifiers mods = event->modifiers();
    for (int i = 0; i < std::abs(steps); ++i) {
        const bool forward = steps > 0;
        if (mods & Qt::ShiftModifier) {
            scrollTime(forward ? -1 : 1);
        } else if (mods & Qt::ControlModifier) {
            widenTime(forward ? -0.25 : 0.25);
            moveTop(forward ? -0.5 : 0.5);
        } else {
            scrollSignal(forward ? 1 : -1);
        }
    }
    event->accept();
}

// --- showing and drawing

void CZelmoraView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    State& s = *s_;
    if (s.shownOnce)
        return;
    s.shownOnce = true;
    s.selected = -1;
    viewUpdate(static_cast<int>(CZelmoraDoc::Change::Peaks));
    const Method* method = documentMethod(s.doc);
    if (method != nullptr && method->capture.fixedBounds &&
        method->capture.displayMinimum != method->capture.displayMaximum) {
        setRanges(s.t0, s.t1, method->capture.displayMinimum, method->capture.displayMaximum);
    }
    // The report and the export open other windows: after this one is up.
    const int request = s.doc.reportState;
    if (request != 0) {
        s.doc.reportState = 0;
        QMetaObject::invokeMethod(
            this, [this, request] { emit reportRequested(request); }, Qt::QueuedConnection);
    }
    if (method != nullptr && method->report.autoExport)
        QMetaObject::invokeMethod(
            this, [this] { emit autoExportRequested(); }, Qt::QueuedConnection);
}

void CZelmoraView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    s_->geometryDirty = true;
    s_->imageDirty = true;
}

void CZelmoraView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    showCursorText(QString());
}

void CZelmoraView::renderPicture() {
    State& s = *s_;
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (s.image.size() != pixels) {
        s.image = QImage(pixels, QImage::Format_RGB32);
        s.image.setDevicePixelRatio(dpr);
    }
    const ProgramOptions o = programOptions();
    s.windows = retentionWindows(s.doc, o.peekWindow);
    s.markPeek = o.markPeek;
    ViewScene scene;
    scene.doc = &s.doc;
    scene.selected = s.selected;
    scene.showGroups = s.commands.showGroups();
    scene.windows = &s.windows;
    scene.markPeek = o.markPeek;
    scene.nameNumber = o.nameNumber;
    scene.nameTime = o.nameTime;
    scene.nameName = o.nameName;
    scene.direction = o.direction;
    {
        QPainter p(&s.image);
        s.picture.draw(p, QSizeF(size()), s.geo(*this), scene);
    }
    s.imageDirty = false;
    emit spanTextChanged(
        QString::fromStdString(text::format("[%.5f мВ %.2f мин]", s.y1 - s.y0, s.t1 - s.t0)));
}

void CZelmoraView::drawOverlay(QPainter& p) const {
    const State& s = *s_;
    const ViewGeometry& g = s_->geo(*this);
    // Inverted pixels, as a tracking line over any colour shows.
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Difference);
    QPen pen(Qt::white);
    pen.setWidth(0);
    p.setPen(pen);
    const double top = g.plot.top, bottom = g.plot.bottom;
    if ((s.tool != Tool::None || s.dragging) && s.trackShown) {
        const double x = std::floor(s.trackX) + 0.5;
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
    if (s.twoClickTool() && s.step == 2) {
        // Where the first click was.
        const double x = std::floor(g.xOf(s.firstTime)) + 0.5;
        if (x >= g.plot.left && x <= g.plot.right) {
            pen.setStyle(Qt::DotLine);
            p.setPen(pen);
            p.drawLine(QPointF(x, top), QPointF(x, bottom));
        }
    }
    if (s.framing && s.frameShown) {
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawRect(QRect(s.frameFrom, s.frameTo).normalized());
    }
    p.restore();
}

void CZelmoraView::paintEvent(QPaintEvent* event) {
    State& s = *s_;
    const QSize pixels = (QSizeF(size()) * devicePixelRatioF()).toSize();
    const bool whole = s.imageDirty || s.image.size() != pixels ||
                       !(event->region() - s.overlayRequests).isEmpty();
    s.overlayRequests = QRegion();
    if (whole)
        renderPicture();
    QPainter p(this);
    p.drawImage(QPointF(0, 0), s.image);
    drawOverlay(p);
}

void CZelmoraView::copyTable() {
    const std::string text = peakTableClipboardText(s_->doc.peaks, programOptions());
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
}

}  // namespace zelmora::gui
