// The rig named by TINDREL_RIG is loaded at first use; a bad one falls back
// to the default rig. Each test runs in its own process (the library loads
// its rig once), so this file has its own executable.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

using namespace simtest;

namespace {

std::string writeTemp(const std::string &text)
{
    char path[] = "/tmp/tindrel-envrig-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return {};
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok ? path : "";
}

bool opens(int serial)
{
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setDeviceSerialNumber(ch.h, serial);
    return Tindrel_openWaitForAttachment(ch.h, serial == 300333 ? 5000 : 200) == TINDREL_OK;
}

}   // namespace

TEST(EnvRig, NamedRigIsLoadedAtFirstUse)
{
    std::string path = writeTemp(R"({"devices": [{"id": "e", "deviceId": 30, "class": 2, "name": "Env", "serial": 4242,
                                                  "channels": [{"class": "DigitalOutput"}]}]})");
    ASSERT_FALSE(path.empty());
    setenv("TINDREL_RIG", path.c_str(), 1);
    EXPECT_TRUE(opens(4242));
    EXPECT_FALSE(opens(300333)) << "the default rig is not loaded as well";
    unlink(path.c_str());
}

TEST(EnvRig, BadRigFallsBackToTheDefault)
{
    std::string path = writeTemp("{\"devices\": 7}");
    ASSERT_FALSE(path.empty());
    setenv("TINDREL_RIG", path.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(opens(300333)) << "a device of the default rig";
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path + ":1:"), std::string::npos) << err;
    unlink(path.c_str());
}
