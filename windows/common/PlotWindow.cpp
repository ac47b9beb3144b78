#include "PlotWindow.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tindrel {

PlotWindow::PlotWindow(ExampleWindow &window, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , pauseButton(new QPushButton(QStringLiteral("Pause"), this))
    , spanSpin(new QDoubleSpinBox(this))
    , window_(window)
    , chart_(new QChart)
    , view_(new QChartView(chart_, this))
    , timeAxis_(new QValueAxis)
    , valueAxis_(new QValueAxis)
    , span_(boundedSpan(window.plotSpan()))
{
    setWindowTitle(window.windowTitle() + QStringLiteral(" - Plot"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    openedAt_ = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    timeAxis_->setTitleText(QStringLiteral("Time (s)"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    for (const auto &stream : window.streams()) {
        for (std::size_t f = 0; f < stream->fields().size(); ++f) {
            const FieldInfo &info = stream->fields()[f];
            auto *line = new QLineSeries;
            QString name = info.name;
            if (!info.unit.isEmpty())
                name += QStringLiteral(" (%1)").arg(info.unit);
            line->setName(name);
            chart_->addSeries(line);
            line->attachAxis(timeAxis_);
            line->attachAxis(valueAxis_);
            series_.push_back({stream->index(), static_cast<int>(f), line, {}});
        }
    }
    timeAxis_->setRange(0, span_);
    valueAxis_->setRange(0, 1);

    spanSpin->setRange(shortestSpanSeconds, longestSpanSeconds);
    spanSpin->setDecimals(0);
    spanSpin->setSuffix(QStringLiteral(" s"));
    spanSpin->setValue(span_);
    connect(spanSpin, &QDoubleSpinBox::valueChanged, this, &PlotWindow::setSpan);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Span:"), this));
    bar->addWidget(spanSpin);
    bar->addStretch(1);
    bar->addWidget(pauseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(bar);
    resize(640, 360);

    connect(pauseButton, &QPushButton::clicked, this, [this] { setPaused(!paused_); });
    repaintTimer_.setInterval(static_cast<int>(ExampleWindow::displayInterval.count()));
    connect(&repaintTimer_, &QTimer::timeout, this, &PlotWindow::repaint);
    repaintTimer_.start();
    window.addEventSink(this);
}

PlotWindow::~PlotWindow() { window_.removeEventSink(this); }

QString PlotWindow::seriesName(int i) const { return series_.at(static_cast<std::size_t>(i)).line->name(); }

void PlotWindow::takeEvent(const EventSample &sample)
{
    ++received_;
    const double t = sample.receivedAt - openedAt_;
    latest_ = std::max(latest_, t);
    for (Series &s : series_) {
        if (s.stream != sample.stream || s.field >= sample.count)
            continue;
        const double v = sample.values[static_cast<std::size_t>(s.field)];
        if (v == TINDREL_UNKNOWN_VALUE || !std::isfinite(v))
            continue;
        s.points.emplace_back(t, v);
        dropOldPoints(s);
    }
    dirty_ = true;
}

void PlotWindow::dropOldPoints(Series &s)
{
    while (!s.points.empty() && s.points.front().x() < latest_ - span_)
        s.points.pop_front();
}

double PlotWindow::boundedSpan(double seconds)
{
    return std::isfinite(seconds) ? std::clamp(seconds, shortestSpanSeconds, longestSpanSeconds) : defaultSpanSeconds;
}

void PlotWindow::setSpan(double seconds)
{
    span_ = boundedSpan(seconds);
    {
        const QSignalBlocker block(spanSpin);
        spanSpin->setValue(span_);
    }
    for (Series &s : series_)
        dropOldPoints(s);
    dirty_ = true;
    repaint();
}

void PlotWindow::setPaused(bool paused)
{
    paused_ = paused;
    pauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!paused)
        repaint();
}

void PlotWindow::repaint()
{
    // Paused: the chart stands still while the points keep coming in.
    if (paused_ || !dirty_ || !isVisible())
        return;
    dirty_ = false;
    constexpr std::size_t maxShown = 2000;
    double lo = INFINITY, hi = -INFINITY;
    for (Series &s : series_) {
        QList<QPointF> shown;
        const std::size_t stride = std::max<std::size_t>(1, s.points.size() / maxShown);
        shown.reserve(static_cast<qsizetype>(s.points.size() / stride + 1));
        for (std::size_t i = 0; i < s.points.size(); i += stride) {
            shown.append(s.points[i]);
            lo = std::min(lo, s.points[i].y());
            hi = std::max(hi, s.points[i].y());
        }
        s.line->replace(shown);
    }
    const double end = std::max(latest_, span_);
    timeAxis_->setRange(end - span_, end);
    if (lo <= hi) {
        const double pad = lo == hi ? std::max(1e-9, std::fabs(lo) * 0.1) : (hi - lo) * 0.05;
        valueAxis_->setRange(lo - pad, hi + pad);
    }
}

}   // namespace tindrel
