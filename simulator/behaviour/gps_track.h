// The position receiver's simulated walk: a loop round a park at walking
// pace, with the heading of each leg.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tsim::gps {

inline constexpr double kWalkKmh = 5.0;
inline constexpr double kMetresPerDegree = 111320.0;

struct TrackPoint {
    double lat, lon;
};
// A walk round a park, back to where it started.
inline constexpr TrackPoint kTrack[] = {{53.3441, -6.2675}, {53.3452, -6.2675}, {53.3452, -6.2640},
                                        {53.3437, -6.2640}, {53.3437, -6.2675}, {53.3441, -6.2675}};

struct TrackFix {
    double lat, lon, heading;
};

// Where the walker is after walking metres along the track (round and round).
inline TrackFix trackAt(double metres)
{
    const double cosLat = std::cos(kTrack[0].lat * M_PI / 180.0);
    auto legLength = [&](const TrackPoint &a, const TrackPoint &b) {
        return std::hypot((b.lat - a.lat) * kMetresPerDegree, (b.lon - a.lon) * kMetresPerDegree * cosLat);
    };
    double total = 0;
    for (size_t i = 0; i + 1 < std::size(kTrack); ++i)
        total += legLength(kTrack[i], kTrack[i + 1]);
    metres = std::fmod(metres, total);
    for (size_t i = 0; i + 1 < std::size(kTrack); ++i) {
        const TrackPoint &a = kTrack[i], &b = kTrack[i + 1];
        const double len = legLength(a, b);
        if (metres <= len || i + 2 == std::size(kTrack)) {
            const double f = len > 0 ? std::min(metres / len, 1.0) : 0.0;
            const double north = (b.lat - a.lat) * kMetresPerDegree, east = (b.lon - a.lon) * kMetresPerDegree * cosLat;
            double heading = std::atan2(east, north) * 180.0 / M_PI;
            if (heading < 0)
                heading += 360.0;
            return {a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon), heading};
        }
        metres -= len;
    }
    return {kTrack[0].lat, kTrack[0].lon, 0.0};
}

}   // namespace tsim::gps
