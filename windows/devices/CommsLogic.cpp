#include "CommsLogic.h"

#include <algorithm>
#include <cstring>

namespace tindrel::comms {

QString irEncodingText(std::uint32_t encoding)
{
    switch (encoding) {
    case 2:
        return QStringLiteral("Space");
    case 3:
        return QStringLiteral("Pulse");
    case 4:
        return QStringLiteral("BiPhase");
    case 5:
        return QStringLiteral("RC5");
    case 6:
        return QStringLiteral("RC6");
    default:
        return QStringLiteral("Error");
    }
}

QString irLengthText(std::uint32_t length)
{
    switch (length) {
    case 1:
        return QStringLiteral("Unknown");
    case 2:
        return QStringLiteral("Constant");
    default:
        return QStringLiteral("Variable");
    }
}

QString irPairText(const std::uint32_t pair[2])
{
    return QString::asprintf("%d,%d", static_cast<int>(pair[0]), static_cast<int>(pair[1]));
}

QString irRepeatText(const Tindrel_IRCodeInfo &info)
{
    QString out;
    for (std::uint32_t word : info.repeat) {
        if (word == 0)
            break;
        out += QString::asprintf("%d,", static_cast<int>(word));
    }
    return out;
}

QString irToggleMaskText(const Tindrel_IRCodeInfo &info)
{
    QString out = QStringLiteral("0x");
    const std::size_t bytes = std::min<std::size_t>(info.bitCount / 8, sizeof info.toggleMask);
    for (std::size_t i = 0; i < bytes; ++i)
        out += QString::asprintf("%02x", static_cast<unsigned char>(info.toggleMask[i]));
    return out;
}

QString IRRawLog::append(const std::vector<std::uint32_t> &durations)
{
    QString text;
    for (std::uint32_t v : durations) {
        if (v == irLongGap) {
            text += QStringLiteral("\n\nLONG\n");
            column_ = -1;
            count_ = 0;
        } else {
            if (v <= 100000) {
                text += QString::asprintf(column_ == 9 ? "%10u\n" : "%10u,", v);
                if (column_ == 9)
                    column_ = -1;
            } else {
                text += QString::asprintf("\n\n%10u\n", v);
                column_ = -1;
            }
            recording_[count_++] = v;
        }
        ++column_;
        if (count_ >= irRecordingSize)
            count_ = 0;
    }
    return text;
}

namespace {
// A signal starts and ends with a mark: a segment ending in a space (an even
// count) would be refused, so that space joins the silence of the gap.
void endSegment(IRSegment &segment, std::uint32_t gap, std::vector<IRSegment> &out)
{
    segment.gap = gap;
    if (!segment.durations.empty() && segment.durations.size() % 2 == 0) {
        segment.gap += segment.durations.back();
        segment.durations.pop_back();
    }
    out.push_back(std::move(segment));
    segment = {};
}
}   // namespace

std::vector<IRSegment> irReplaySegments(const std::vector<std::uint32_t> &recording)
{
    std::vector<IRSegment> out;
    IRSegment segment;
    for (std::uint32_t v : recording) {
        if (v < irSegmentEnd)
            segment.durations.push_back(v);
        else
            endSegment(segment, v, out);
    }
    endSegment(segment, irFinalGap, out);
    return out;
}

std::optional<QString> rfidProtocolText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("EM4100 Series");
    case 2:
        return QStringLiteral("ISO11785 FDX B");
    case 3:
        return QStringLiteral("TindrelTag");
    case 4:
        return QStringLiteral("HID Generic");
    case 5:
        return QStringLiteral("HID H10301");
    default:
        return std::nullopt;
    }
}

Tindrel_RFIDProtocol rfidProtocolOfIndex(int index)
{
    return index >= 0 && index <= 4 ? static_cast<Tindrel_RFIDProtocol>(index + 1) : TINDREL_RFID_PROTOCOL_EM4100;
}

QString gpsDegreesText(double degrees) { return QString::asprintf("%0.3f", degrees) + QChar(0x00BA); }
QString gpsAltitudeText(double metres) { return QString::asprintf("%0.3f m", metres); }
QString gpsHeadingText(double degrees) { return QString::asprintf("%0.1f", degrees) + QChar(0x00BA); }
QString gpsVelocityText(double kmh) { return QString::asprintf("%0.1f km/h", kmh); }
QString gpsTimeText(const Tindrel_GPSTime &t)
{
    return QString::asprintf("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
}
QString gpsDateText(const Tindrel_GPSDate &d)
{
    return QString::asprintf("%02d/%02d/%02d", d.tm_mday, d.tm_mon, d.tm_year);
}

}   // namespace tindrel::comms
