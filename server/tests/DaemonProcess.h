// The network server daemon as a child process on loopback, for tests
// that reach its devices through the device library.
#pragma once

#include "Loopback.h"
#include "TempDir.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tindrel::server::testing {

// The daemon's rig: a voltage input and a digital output on one device.
inline const char *kServerRig = R"({"devices": [
  {"id": "bench", "deviceId": 40, "class": 1, "sku": "TDR1140_0", "name": "Bench Module", "version": 120,
   "serial": 730001,
   "channels": [
    {"class": "VoltageInput", "behaviour": {"waveform": "ramp", "amplitude": 2, "offset": 2.5, "period": 2}},
    {"class": "DigitalOutput"}]}]})";

// A daemon child process on loopback.
class Daemon {
public:
    Daemon(const TempDir &dir, const std::string &name, int port, const std::string &password, bool publish,
           const char *rig = kServerRig)
        : dir_(dir)
    {
        writeText(dir.file("rig.json"), rig);
        std::string config = "[tindrel]\nenabled = \"true\"\n[tindrel.network.ipv4]\nport = " + std::to_string(port) +
                             "\n[tindrel.network.publish]\nenabled = \"" + (publish ? "true" : "false") +
                             "\"\nname = \"" + name + "\"\n[tindrel.www]\nenabled = \"false\"\n" +
                             "[tindrel.logging]\nlevel = \"debug\"\nfile = \"" + dir.file("daemon.log") + "\"\n";
        if (!password.empty())
            config += "[tindrel.auth]\npassword = \"" + password + "\"\n";
        writeText(dir.file("server.pc"), config);
    }
    ~Daemon() { stop(SIGTERM); }
    void start()
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("TINDREL_RIG", dir_.file("rig.json").c_str(), 1);
            ::setenv("TINDREL_DISCOVERY", ("dir:" + dir_.file("discovery")).c_str(), 1);
            if (!std::freopen(dir_.file("daemon.err").c_str(), "a", stderr))
                ::_exit(99);
            ::execl(TINDREL_DAEMON_PATH, TINDREL_DAEMON_PATH, "-c", dir_.file("server.pc").c_str(), nullptr);
            ::_exit(98);
        }
    }
    void stop(int signal)
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    std::string log() const { return readText(dir_.file("daemon.log")) + readText(dir_.file("daemon.err")); }

private:
    const TempDir &dir_;
    pid_t pid_ = -1;
};

}   // namespace tindrel::server::testing
