#pragma once

// What the infrared, tag reader and satellite position windows show, as
// pure functions: texts of a learned code's record, the raw duration log and
// its recording, the replay's segments, tag protocols, and position, time
// and date texts.
#include <tindrel22.h>

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tindrel::comms {

// Learned-code record.
QString irEncodingText(std::uint32_t encoding);
QString irLengthText(std::uint32_t length);
QString irPairText(const std::uint32_t pair[2]);
// Each repeat word as "%d," up to the first 0 (at most 26).
QString irRepeatText(const Tindrel_IRCodeInfo &info);
// "0x" and two hex digits for each of the first bitCount / 8 mask bytes
// (never more than the record holds).
QString irToggleMaskText(const Tindrel_IRCodeInfo &info);

// A duration with all 32 bits set: the receiver saw a gap too long to measure.
inline constexpr std::uint32_t irLongGap = 0xffffffffu;
inline constexpr std::size_t irRecordingSize = 200;

// The raw duration log: ten values a line, long gaps on lines of their own,
// and the recording of what was logged (restarted by an unmeasurable gap,
// wrapped to the start when full).
class IRRawLog {
public:
    // The text to append for one batch of durations; records them.
    QString append(const std::vector<std::uint32_t> &durations);
    // Empties the recording; the column is kept.
    void clearRecording() { count_ = 0; }
    std::vector<std::uint32_t> recording() const
    {
        return {recording_.begin(), recording_.begin() + static_cast<std::ptrdiff_t>(count_)};
    }
    std::size_t count() const { return count_; }

private:
    int column_ = 0;
    std::vector<std::uint32_t> recording_ = std::vector<std::uint32_t>(irRecordingSize);
    std::size_t count_ = 0;
};

// One transmitRaw call of a replay.
struct IRSegment {
    std::vector<std::uint32_t> durations;
    std::uint32_t gap = 0;
    bool operator==(const IRSegment &) const = default;
};
inline constexpr std::uint32_t irSegmentEnd = 50000;
inline constexpr std::uint32_t irFinalGap = 150000;
// A value of irSegmentEnd or more ends a segment and is its trailing gap;
// the rest goes out with irFinalGap.
std::vector<IRSegment> irReplaySegments(const std::vector<std::uint32_t> &recording);

// Tag protocols 1 to 5 by name; nothing for other codes.
std::optional<QString> rfidProtocolText(int code);
// Protocol code of the write pop-up's index (1 for anything out of range).
Tindrel_RFIDProtocol rfidProtocolOfIndex(int index);
inline const char *const rfidLockWarning = "WARNING!\nThis action will lock the RFID tag and prevent further writes. "
                                           "\n\nAre you sure you want to continue? ";

// Satellite receiver texts.
QString gpsDegreesText(double degrees);
QString gpsAltitudeText(double metres);
QString gpsHeadingText(double degrees);
QString gpsVelocityText(double kmh);
QString gpsTimeText(const Tindrel_GPSTime &t);
QString gpsDateText(const Tindrel_GPSDate &d);

}   // namespace tindrel::comms
