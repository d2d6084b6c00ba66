#include "gui/instruments/recording_wnd.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/program_settings.h"
#include "app/text.h"
#include "document/zelmora_doc.h"
#include "gui/command_ids.h"
#include "gui/document/passport_dlg.h"
#include "gui/message_box.h"
#include "instruments/channel.h"
#include "instruments/device.h"
#include "method/document_method.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// A "nice" step of about `raw`: 1, 2 or 5 times a power of ten.
double niceStep(double raw) {
    if (!(raw > 0))
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / p;
    return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * p;
}

constexpr int kLeft = 56;
constexpr int kBottom = 28;
constexpr int kTop = 8;
constexpr int kRight = 12;

}  // namespace

// --- CRecordingView

CRecordingView::CRecordingView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RecordingView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
}

void CRecordingView::setFixedBounds(bool on, double low, double high) {
    fixed_ = on && high > low;
    if (fixed_) {
        yLow_ = low;
        yHigh_ = high;
    }
}

void CRecordingView::append(const std::vector<float>& points, std::size_t from) {
    if (from > points_.size())
        return;
    points_.resize(from);
    points_.insert(points_.end(), points.begin(), points.end());
    const double last = t0_ + static_cast<double>(points_.size()) * dt_;
    tMax_ = std::max({tMax_, runTime_, last});
    if (fixed_)
        return;
    // The signal range widens as the points come; it never shrinks while
    // recording, so the picture does not jump.
    bool widened = false;
    for (float v : points) {
        if (v < yLow_ || v > yHigh_)
            widened = true;
    }
    if (widened || points_.size() == points.size())
        fitHeights();
}

void CRecordingView::fitHeights() {
    if (points_.empty())
        return;
    const auto [lo, hi] = std::minmax_element(points_.begin(), points_.end());
    double low = *lo, high = *hi;
    if (high - low < 1e-3) {
        low -= 0.5;
        high += 0.5;
    }
    const double margin = 0.05 * (high - low);
    yLow_ = std::min(yLow_, low - margin);
    yHigh_ = std::max(yHigh_, high + margin);
    if (points_.size() <= 1 || yHigh_ - yLow_ > 20 * (high - low + 2 * margin)) {
        yLow_ = low - margin;
        yHigh_ = high + margin;
    }
}

void CRecordingView::showAll() {
    showAllTimes();
    showAllHeights();
}

void CRecordingView::showAllTimes() {
    tMax_ = std::max(runTime_, t0_ + static_cast<double>(points_.size()) * dt_);
    update();
}

void CRecordingView::showAllHeights() {
    if (points_.empty())
        return;
    const auto [lo, hi] = std::minmax_element(points_.begin(), points_.end());
    double low = *lo, high = *hi;
    if (high - low < 1e-3) {
        low -= 0.5;
        high += 0.5;
    }
    const double margin = 0.05 * (high - low);
    yLow_ = low - margin;
    yHigh_ = high + margin;
    update();
}

void CRecordingView::paintEvent(QPaintEvent*) {
    QElapsedTimer clock;
    clock.start();
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QRect plot(kLeft, kTop, std::max(10, width() - kLeft - kRight),
                     std::max(10, height() - kTop - kBottom));
    const double tSpan = tMax_ > 0 ? tMax_ : 1;
    const double ySpan = yHigh_ - yLow_ > 0 ? yHigh_ - yLow_ : 1;
    auto xOf = [&](double t) { return plot.left() + t / tSpan * (plot.width() - 1); };
    auto yOf = [&](double v) { return plot.bottom() - (v - yLow_) / ySpan * (plot.height() - 1); };

    // Grid and axis numbers.
    const QFontMetrics fm(font());
    p.setPen(QColor(225, 225, 225));
    const double tStep = niceStep(tSpan / 8);
    for (double t = 0; t <= tSpan + 1e-9; t += tStep) {
        const int x = static_cast<int>(std::lround(xOf(t)));
        p.setPen(QColor(225, 225, 225));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(Qt::black);
        const QString label = QString::number(t, 'g', 4);
        p.drawText(x - fm.horizontalAdvance(label) / 2, plot.bottom() + fm.height() + 2, label);
    }
    const double yStep = niceStep(ySpan / 6);
    for (double v = std::ceil(yLow_ / yStep) * yStep; v <= yHigh_ + 1e-9; v += yStep) {
        const int y = static_cast<int>(std::lround(yOf(v)));
        p.setPen(QColor(225, 225, 225));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::black);
        const QString label = QString::number(std::fabs(v) < yStep * 1e-6 ? 0.0 : v, 'g', 5);
        p.drawText(plot.left() - fm.horizontalAdvance(label) - 4, y + fm.ascent() / 2, label);
    }

    p.setPen(QColor(90, 90, 90));
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    // The trace: per pixel column its lowest and highest point, joined.
    p.setClipRect(plot);
    p.setPen(QPen(QColor(0, 0, 170), 1));
    const std::size_t n = points_.size();
    if (n > 0) {
        const double perPixel = tSpan / (plot.width() - 1) / dt_;  // points per column
        if (perPixel <= 2.0) {
            QPolygonF line;
            line.reserve(static_cast<int>(n));
            for (std::size_t i = 0; i < n; ++i)
                line << QPointF(xOf(t0_ + static_cast<double>(i) * dt_), yOf(points_[i]));
            p.drawPolyline(line);
        } else {
            QPolygonF line;
            line.reserve(2 * plot.width() + 2);
            std::size_t i = 0;
            for (int col = 0; col < plot.width() && i < n; ++col) {
                const double tEnd = (col + 1) * tSpan / (plot.width() - 1);
                const auto end = std::min<std::size_t>(
                    n, static_cast<std::size_t>(std::max(0.0, std::ceil((tEnd - t0_) / dt_))));
                if (end <= i)
                    continue;
                float lo = points_[i], hi = points_[i];
                for (std::size_t k = i; k < end; ++k) {
                    lo = std::min(lo, points_[k]);
                    hi = std::max(hi, points_[k]);
                }
                const double x = plot.left() + col;
                line << QPointF(x, yOf(points_[i])) << QPointF(x, yOf(lo)) << QPointF(x, yOf(hi))
                     << QPointF(x, yOf(points_[end - 1]));
                i = end;
            }
            p.drawPolyline(line);
        }
    }
    lastFrameMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// --- CRecordingWnd

CRecordingWnd::CRecordingWnd(CChannel& channel, QWidget* owner) : channel_(channel), owner_(owner) {
    setObjectName(QStringLiteral("RecordingWnd"));
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("zelmoraBand", kBand);
    CDevice& dev = channel.device();
    std::string title = text::format("Прибор %d (%s), канал %d", dev.deviceIndex() + 1,
                                     dev.displayName().c_str(), channel.index() + 1);
    if (!channel.methodName().empty())
        title += "; метод " + channel.methodName();
    setWindowTitle(q(title));
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new CRecordingView(box);
    layout->addWidget(view_, 1);
    status_ = new QLabel(box);
    status_->setObjectName(QStringLiteral("RecordingStatus"));
    status_->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(status_);
    setWidget(box);
    if (const CZelmoraDoc* doc = channel.document()) {
        view_->setTimeBase(doc->signal.t0, doc->signal.dt);
        if (const Method* m = documentMethod(*doc))
            view_->setFixedBounds(m->capture.fixedBounds, m->capture.displayMinimum,
                                  m->capture.displayMaximum);
    } else {
        view_->setTimeBase(channel.pointStep() / 2, channel.pointStep());
    }
    view_->setRunTime(channel.runTime());
    view_->showAllTimes();
    timer_ = new QTimer(this);
    timer_->setInterval(std::max(50, programOptions().redrawPeriodMs()));
    connect(timer_, &QTimer::timeout, this, &CRecordingWnd::tick);
    timer_->start();
    tick();
}

CRecordingWnd::~CRecordingWnd() = default;

QString CRecordingWnd::statusText() const {
    const std::size_t n = view_->pointCount();
    const double step = channel_.pointStep();
    const double last = n == 0 ? 0.0 : step / 2 + static_cast<double>(n - 1) * step;
    return q(text::format("%s              %.2f мин / %.3g мин,  %.3f мВ;              Время, мин",
                          channel_.methodName().c_str(), last, channel_.runTime(),
                          static_cast<double>(channel_.lastValue())));
}

void CRecordingWnd::tick() {
    if (finished_)
        return;
    fresh_.clear();
    const std::size_t from = view_->pointCount();
    channel_.copyPoints(from, fresh_);
    view_->setRunTime(channel_.runTime());
    if (!fresh_.empty())
        view_->append(fresh_, from);
    channel_.flushJournal();
    status_->setText(statusText());
    view_->update();
}

bool CRecordingWnd::handles(int id) {
    using namespace command;
    return id == kStopRecording || id == kStopSeries || id == kAddFiveMinutes || id == kShowAll ||
           id == kAllByTime || id == kAllByHeight || id == kPassport;
}

bool CRecordingWnd::isCommandEnabled(int id) const {
    using namespace command;
    const bool recording = channel_.isRecording();
    switch (id) {
        case kStopRecording:
        case kAddFiveMinutes:
            return recording;
        case kStopSeries:
            return recording && channel_.seriesRemaining() > 1;
        case kPassport:
            return recording && channel_.document() != nullptr;
        case kShowAll:
        case kAllByTime:
        case kAllByHeight:
            return true;
        default:
            return false;
    }
}

bool CRecordingWnd::runCommand(int id) {
    using namespace command;
    if (!isCommandEnabled(id))
        return false;
    switch (id) {
        case kStopRecording:
            return stopRecording();
        case kStopSeries:
            channel_.EndSeries();
            emit commandStatesChanged();
            return true;
        case kAddFiveMinutes:
            channel_.AddTime();
            view_->setRunTime(channel_.runTime());
            view_->showAllTimes();
            tick();
            return true;
        case kShowAll:
            view_->showAll();
            return true;
        case kAllByTime:
            view_->showAllTimes();
            return true;
        case kAllByHeight:
            view_->showAllHeights();
            return true;
        case kPassport: {
            bool accepted = false;
            QWidget* parent = owner_ != nullptr ? owner_ : this;
            channel_.EditPassport([&](CZelmoraDoc& doc) {
                CPassportDlg dlg(doc, passportCatalogue(), parent);
                accepted = dlg.exec() == QDialog::Accepted;
            });
            return accepted;
        }
        default:
            return false;
    }
}

bool CRecordingWnd::stopRecording() {
    if (!channel_.isRecording())
        return false;
    if (programOptions().disconect2) {
        CDevice& dev = channel_.device();
        MessageRequest r;
        r.parent = owner_ != nullptr ? owner_ : this;
        r.icon = QMessageBox::Question;
        r.text =
            q(text::format("Остановить запись с канала %d прибора %d (%s)?", channel_.index() + 1,
                           dev.deviceIndex() + 1, dev.displayName().c_str()));
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        if (showMessage(r) != QMessageBox::Yes)
            return false;
    }
    channel_.Stop(true);
    return true;
}

void CRecordingWnd::finish() {
    tick();
    finished_ = true;
    timer_->stop();
    close();
}

void CRecordingWnd::closeEvent(QCloseEvent* event) {
    if (!finished_ && channel_.isRecording()) {
        // The window goes when the recording has ended.
        stopRecording();
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace zelmora::gui
