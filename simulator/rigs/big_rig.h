// Generates large rigs for benchmarks and load tests: hubs with six ports,
// each port holding a device of ten digital inputs and ten digital outputs
// (TDR3120_0, a product of this rig only; see CATALOGUE.md).
// bigRig(10000) gives a rig of (about) 10,000 channels.
#pragma once

#include <string>

namespace tindrel_rigs {

inline std::string bigRig(int channels)
{
    const int perDevice = 20;
    int devices = (channels + perDevice - 1) / perDevice;
    int hubs = (devices + 5) / 6;
    std::string out = "{\"devices\": [\n";
    for (int h = 0; h < hubs; ++h) {
        std::string hub = "hub" + std::to_string(h);
        out += "{\"id\": \"" + hub +
               "\", \"deviceId\": 129, \"class\": 8, \"sku\": \"TDR2006_0\", "
               "\"firmwareUpgradeString\": \"TDR2006\", \"name\": \"Hub " +
               std::to_string(h) + "\", \"serial\": " + std::to_string(900000 + h) +
               ", \"channels\": [{\"class\": \"Hub\"}]},\n";
        for (int p = 0; p < 6 && h * 6 + p < devices; ++p) {
            out += "{\"id\": \"" + hub + "-" + std::to_string(p) + "\", \"parent\": \"" + hub +
                   "\", \"hubPort\": " + std::to_string(p) +
                   ", \"deviceId\": 55, \"class\": 21, \"sku\": \"TDR3120_0\", "
                   "\"firmwareUpgradeString\": \"TDR3120\", \"name\": \"Twenty-Line Digital I/O Module\", "
                   "\"channels\": ["
                   "{\"class\": \"DigitalInput\", \"count\": 10}, {\"class\": \"DigitalOutput\", \"count\": 10}]},\n";
        }
    }
    out.resize(out.size() - 2);   // the last ",\n"
    out += "\n]}\n";
    return out;
}

}   // namespace tindrel_rigs
