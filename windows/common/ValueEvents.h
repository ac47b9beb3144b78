#pragma once

// Value events of the device library, one small struct per event shape. A
// library callback builds its shape with Shape::from(the callback's own
// arguments), so an event whose arguments do not fit its shape does not
// compile; handlers read named fields, never positions.
//
// Every shape also tells the plot and the recording what it carries:
// fieldCount numbers (fields()), and the library's own timestamp when the
// event has one.
#include <tindrel22.h>

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

namespace tindrel {

// One number of a value event, as the plot and the recording name it.
struct FieldInfo {
    QString name;
    QString unit;
};

// Signatures D, I and U: one number.
struct ScalarEvent {
    double value = 0.0;

    template <class T>
    requires std::is_arithmetic_v<T>
    static ScalarEvent from(T v) { return {static_cast<double>(v)}; }
    static constexpr std::size_t fieldCount = 1;
    std::array<double, fieldCount> fields() const { return {value}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature DU: a sensor reading and its unit record.
struct UnitValueEvent {
    double value = 0.0;
    int unitCode = 0;
    QString unitName;
    QString unitSymbol;

    static UnitValueEvent from(double v, Tindrel_UnitInfo *unit)
    {
        UnitValueEvent e{v, 0, {}, {}};
        if (unit) {
            e.unitCode = static_cast<int>(unit->unit);
            e.unitName = QString::fromUtf8(unit->name ? unit->name : "");
            e.unitSymbol = QString::fromUtf8(unit->symbol ? unit->symbol : "");
        }
        return e;
    }
    static constexpr std::size_t fieldCount = 1;
    std::array<double, fieldCount> fields() const { return {value}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature D3T: three axes and the library's timestamp in milliseconds.
struct AxesEvent {
    std::array<double, 3> axes{};
    double timestampMs = 0.0;

    static AxesEvent from(const double *values, double timestamp)
    {
        return {{values[0], values[1], values[2]}, timestamp};
    }
    static constexpr std::size_t fieldCount = 3;
    std::array<double, fieldCount> fields() const { return axes; }
    std::optional<double> timestamp() const { return timestampMs; }
};

// Signature D9T: acceleration, angular rate and magnetic field (three axes
// each) and the library's timestamp in milliseconds.
struct SpatialEvent {
    std::array<double, 3> acceleration{};
    std::array<double, 3> angularRate{};
    std::array<double, 3> magneticField{};
    double timestampMs = 0.0;

    static SpatialEvent from(const double *a, const double *g, const double *m, double timestamp)
    {
        return {{a[0], a[1], a[2]}, {g[0], g[1], g[2]}, {m[0], m[1], m[2]}, timestamp};
    }
    static constexpr std::size_t fieldCount = 9;
    std::array<double, fieldCount> fields() const
    {
        return {acceleration[0], acceleration[1],  acceleration[2],  angularRate[0],  angularRate[1],
                angularRate[2],  magneticField[0], magneticField[1], magneticField[2]};
    }
    std::optional<double> timestamp() const { return timestampMs; }
};

// Signature CNT: counts since the last event and the time they took (ms).
struct CountEvent {
    std::uint64_t counts = 0;
    double timeChangeMs = 0.0;

    static CountEvent from(std::uint64_t c, double t) { return {c, t}; }
    static constexpr std::size_t fieldCount = 2;
    std::array<double, fieldCount> fields() const { return {static_cast<double>(counts), timeChangeMs}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature IDI: encoder position change, its time (ms), index seen.
struct EncoderEvent {
    int positionChange = 0;
    double timeChangeMs = 0.0;
    bool indexTriggered = false;

    static EncoderEvent from(int change, double t, int index) { return {change, t, index != 0}; }
    static constexpr std::size_t fieldCount = 3;
    std::array<double, fieldCount> fields() const
    {
        return {static_cast<double>(positionChange), timeChangeMs, indexTriggered ? 1.0 : 0.0};
    }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature SPL: unweighted, A-weighted and C-weighted sound pressure levels
// (dB) and the ten octave band levels, 31.5 Hz to 16 kHz.
struct SPLEvent {
    static constexpr std::size_t bandCount = 10;
    double dB = 0.0;
    double dBA = 0.0;
    double dBC = 0.0;
    std::array<double, bandCount> octaves{};

    static SPLEvent from(double dB, double dBA, double dBC, const double *octaves)
    {
        SPLEvent e{dB, dBA, dBC, {}};
        for (std::size_t i = 0; i < bandCount && octaves; ++i)
            e.octaves[i] = octaves[i];
        return e;
    }
    static constexpr std::size_t fieldCount = 3 + bandCount;
    std::array<double, fieldCount> fields() const
    {
        std::array<double, fieldCount> out{dB, dBA, dBC};
        for (std::size_t i = 0; i < bandCount; ++i)
            out[3 + i] = octaves[i];
        return out;
    }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature REFL: up to eight sonar echoes (distance in mm, amplitude) and
// how many of them are valid.
struct ReflectionsEvent {
    static constexpr std::size_t maxEchoes = 8;
    std::array<std::uint32_t, maxEchoes> distances{};
    std::array<std::uint32_t, maxEchoes> amplitudes{};
    std::uint32_t count = 0;

    static ReflectionsEvent from(const std::uint32_t *distances, const std::uint32_t *amplitudes, std::uint32_t count)
    {
        ReflectionsEvent e;
        e.count = std::min<std::uint32_t>(count, maxEchoes);
        for (std::size_t i = 0; i < maxEchoes; ++i) {
            e.distances[i] = distances ? distances[i] : 0;
            e.amplitudes[i] = amplitudes ? amplitudes[i] : 0;
        }
        return e;
    }
    static constexpr std::size_t fieldCount = 2 * maxEchoes + 1;
    std::array<double, fieldCount> fields() const
    {
        std::array<double, fieldCount> out{};
        for (std::size_t i = 0; i < maxEchoes; ++i) {
            out[i] = distances[i];
            out[maxEchoes + i] = amplitudes[i];
        }
        out[2 * maxEchoes] = count;
        return out;
    }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature 0: an event that carries no value (a touch ending, a motor
// stopped): only that it happened. The plot and the recording see it as a
// row without numbers.
struct NoValueEvent {
    static NoValueEvent from() { return {}; }
    static constexpr std::size_t fieldCount = 0;
    std::array<double, fieldCount> fields() const { return {}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature DDD: a position (degrees, degrees, metres).
struct PositionEvent {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;

    static PositionEvent from(double lat, double lon, double alt) { return {lat, lon, alt}; }
    static constexpr std::size_t fieldCount = 3;
    std::array<double, fieldCount> fields() const { return {latitude, longitude, altitude}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Signature DD: heading (degrees) and velocity (km/h).
struct HeadingEvent {
    double heading = 0.0;
    double velocity = 0.0;

    static HeadingEvent from(double h, double v) { return {h, v}; }
    static constexpr std::size_t fieldCount = 2;
    std::array<double, fieldCount> fields() const { return {heading, velocity}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Infrared code received: its text, bit count and repeat flag.
struct IRCodeEvent {
    QString code;
    std::uint32_t bitCount = 0;
    bool repeat = false;

    static IRCodeEvent from(const char *c, std::uint32_t bits, int isRepeat)
    {
        return {QString::fromLatin1(c ? c : ""), bits, isRepeat != 0};
    }
    static constexpr std::size_t fieldCount = 2;
    std::array<double, fieldCount> fields() const { return {static_cast<double>(bitCount), repeat ? 1.0 : 0.0}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Infrared code learned: its text and a copy of the code-information record.
struct IRLearnEvent {
    QString code;
    Tindrel_IRCodeInfo info{};

    static IRLearnEvent from(const char *c, Tindrel_IRCodeInfo *record)
    {
        IRLearnEvent e;
        e.code = QString::fromLatin1(c ? c : "");
        if (record)
            e.info = *record;
        return e;
    }
    static constexpr std::size_t fieldCount = 1;
    std::array<double, fieldCount> fields() const { return {static_cast<double>(info.bitCount)}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Raw mark and space durations measured by an infrared receiver.
struct IRRawEvent {
    std::vector<std::uint32_t> durations;

    static IRRawEvent from(const std::uint32_t *data, std::size_t length)
    {
        IRRawEvent e;
        if (data)
            e.durations.assign(data, data + length);
        return e;
    }
    static constexpr std::size_t fieldCount = 1;
    std::array<double, fieldCount> fields() const { return {static_cast<double>(durations.size())}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// A tag entering the reader's field (tag text, protocol) or leaving it (no
// arguments). One shape for both keeps their order in one stream.
struct TagEvent {
    bool present = false;
    QString tag;
    int protocol = 0;

    static TagEvent from(const char *t, Tindrel_RFIDProtocol p)
    {
        return {true, QString::fromUtf8(t ? t : ""), static_cast<int>(p)};
    }
    static TagEvent from() { return {}; }
    static constexpr std::size_t fieldCount = 2;
    std::array<double, fieldCount> fields() const { return {present ? 1.0 : 0.0, static_cast<double>(protocol)}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// Any event shape above.
template <class S>
concept EventShape = requires(const S &s)
{
    {
        S::fieldCount
        } -> std::convertible_to<std::size_t>;
    s.fields();
    {
        s.timestamp()
        } -> std::same_as<std::optional<double>>;
};

// A value event as the plot and the recording see it, whatever its shape.
inline constexpr std::size_t maxEventFields = 17;
struct EventSample {
    int stream = 0;                      // index of the window's stream
    double receivedAt = 0.0;             // seconds since the epoch, taken in the callback
    std::optional<double> timestampMs;   // the library's own timestamp, when the event has one
    std::uint8_t count = 0;
    std::array<double, maxEventFields> values{};
};

template <EventShape S>
EventSample toSample(const S &event, int stream, double receivedAt)
{
    static_assert(S::fieldCount <= maxEventFields);
    EventSample sample;
    sample.stream = stream;
    sample.receivedAt = receivedAt;
    sample.timestampMs = event.timestamp();
    const auto values = event.fields();
    sample.count = static_cast<std::uint8_t>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        sample.values[i] = values[i];
    return sample;
}

}   // namespace tindrel
