#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"

#include <tindrel22.h>

#include <QLabel>

#include <array>
#include <vector>

class QBarSet;
class QChart;
class QChartView;
class QValueAxis;

namespace tindrel {

// What the octave bar graph shows: ten bands, their labels, and the level
// range of each SPL range code.
namespace octaves {
inline constexpr std::size_t bandCount = SPLEvent::bandCount;
inline constexpr std::array<const char *, bandCount> labels = {"32Hz", "63Hz", "125Hz", "250Hz", "500Hz",
                                                               "1kHz", "2kHz", "4kHz",  "8kHz",  "16kHz"};
// The graph's top for an SPL range code: 102 dB for code 1, else 82 dB.
inline double topForRange(int code) { return code == 1 ? 102.0 : 82.0; }
// The bar heights: the last levels, 0 for every band until there are any.
inline std::array<double, bandCount> barLevels(const std::vector<double> &last)
{
    std::array<double, bandCount> bars{};
    for (std::size_t i = 0; i < bandCount && i < last.size(); ++i)
        bars[i] = last[i];
    return bars;
}
}   // namespace octaves

// Shows the sound pressure level unweighted, A-weighted and C-weighted, and
// the ten octave bands as a bar graph; the SPL range sets the graph's top.
class SoundSensorController : public ExampleWindowOf<SoundSensorController> {
public:
    SoundSensorController();

    void onSPLChangeHandler(const SPLEvent &levels);

    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *changeTriggerBox;
    AttachBox *settingsBox;
    // Choosing an entry sends its range and sets the graph's top to it,
    // whether or not the device takes the range.
    PropertyPopup *splRangeCombo;
    AttachBox *dataBox;
    QLabel *dBZText;
    QLabel *dBAText;
    QLabel *dBCText;
    QChartView *graphView;
    QChart *graph;
    QBarSet *barPlot;
    QValueAxis *levelAxis;
    // The last ten band levels; empty until the first event.
    std::vector<double> octaves;

protected:
    void registerValueHandlers() override;
    void onAttach() override;

private:
    void reloadBars();
    ValueStream<SPLEvent> &spl;
};

}   // namespace tindrel
