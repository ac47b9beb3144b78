#pragma once

#include "ExampleWindow.h"

#include <QElapsedTimer>
#include <QWidget>

#include <deque>

class QChart;
class QChartView;
class QDoubleSpinBox;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace tindrel {

// A live plot of a window's value events: one series per value of each
// stream, named with its unit, against seconds since the plot opened on a
// scrolling axis. Every event is taken in; the chart repaints at most at
// display rate, from at most a few thousand points per series.
class PlotWindow : public QWidget, public EventSink {
    Q_OBJECT
public:
    static constexpr double defaultSpanSeconds = 30.0;
    static constexpr double shortestSpanSeconds = 1.0;
    static constexpr double longestSpanSeconds = 3600.0;
    // seconds within the shortest and longest span (the default for what is no number).
    static double boundedSpan(double seconds);

    explicit PlotWindow(ExampleWindow &window, QWidget *parent = nullptr);
    ~PlotWindow() override;

    void takeEvent(const EventSample &sample) override;

    // The time the axis shows, ending at the latest event; also set with
    // spanSpin. Points older than the span are let go.
    void setSpan(double seconds);
    double span() const { return span_; }

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    quint64 received() const { return received_; }
    int seriesCount() const { return static_cast<int>(series_.size()); }
    QString seriesName(int i) const;
    // Points a series holds within the span.
    int pointCount(int i) const { return static_cast<int>(series_.at(static_cast<std::size_t>(i)).points.size()); }
    QPushButton *pauseButton;
    QDoubleSpinBox *spanSpin;

private:
    void repaint();

    struct Series {
        int stream;
        int field;
        QLineSeries *line;
        std::deque<QPointF> points;
    };
    void dropOldPoints(Series &s);
    ExampleWindow &window_;
    QChart *chart_;
    QChartView *view_;
    QValueAxis *timeAxis_;
    QValueAxis *valueAxis_;
    std::vector<Series> series_;
    double openedAt_ = 0.0;
    double latest_ = 0.0;
    double span_ = defaultSpanSeconds;
    bool paused_ = false;
    bool dirty_ = false;
    quint64 received_ = 0;
    QTimer repaintTimer_;
};

}   // namespace tindrel
