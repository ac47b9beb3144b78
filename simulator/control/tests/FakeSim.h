// Simulator calls that record what they were asked and answer as told, for
// driving the control protocol without the simulated library.
#ifndef TINDREL_CONTROL_TESTS_FAKE_SIM_H
#define TINDREL_CONTROL_TESTS_FAKE_SIM_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "control_protocol.h"

namespace fakesim {

struct State {
    std::mutex mutex;
    std::vector<std::string> calls;   // "detach dev1", "error dev1 6 0 4111 text"...
    TindrelReturnCode result = TINDREL_OK;
    std::string lastError;   // what lastErrorDetail() reports
    std::string listJson = "{}";
    std::string loadError;   // written into the load error buffer on failure
    double value = 0.0;      // what getPropertyValue reports
    // What getLCDPicture reports: grey levels row by row and the size it claims.
    std::vector<uint8_t> picture;
    int pictureWidth = 0, pictureHeight = 0;
    std::string busLog;   // what getBusLog reports
};

// The state behind the fake calls; reset() at the start of each test.
State &state();
void reset();
std::vector<std::string> calls();
tindrel::control::SimCalls table();

}   // namespace fakesim

#endif
