#include "TestSupport.h"

namespace simtest {

std::string lastErrorDetail(TindrelReturnCode *code)
{
    size_t len = 0;
    TindrelReturnCode c = 0;
    const char *desc = nullptr;
    if (Tindrel_getLastError(&c, &desc, nullptr, &len) != TINDREL_OK)
        return "<no error>";
    std::string s(len, '\0');
    if (Tindrel_getLastError(&c, &desc, s.data(), &len) != TINDREL_OK)
        return "<no error>";
    s.resize(len ? len - 1 : 0);
    if (code)
        *code = c;
    return s;
}

void drainManagerEvents()
{
    // Manager events are delivered in order on one thread: a new manager's
    // first event comes after every earlier one has returned. The probe's
    // recorder lives for the whole process, so the probe's own callback can
    // never outlive it.
    static Recorder<int> *seen = new Recorder<int>;
    size_t before = seen->size();
    TindrelManagerHandle probe = nullptr;
    ASSERT_EQ(TindrelManager_create(&probe), TINDREL_OK);
    TindrelManager_setOnAttachHandler(
        probe, [](TindrelManagerHandle, void *c, TindrelHandle) { static_cast<Recorder<int> *>(c)->add(1); }, seen);
    TindrelManager_open(probe);
    EXPECT_TRUE(seen->waitCount(before + 1));
    TindrelManager_close(probe);
    TindrelManager_delete(&probe);
}

void loadRig(const std::string &json)
{
    char err[512] = {};
    ASSERT_EQ(TindrelSim_loadRigText(json.c_str(), "test rig", err, sizeof err), TINDREL_OK) << err;
}

Channel::Channel(Tindrel_ChannelClass cls) { EXPECT_EQ(createTypedTindrelChannelHandle(&h, cls), TINDREL_OK); }

Channel::~Channel() { Tindrel_delete(&h); }

}   // namespace simtest
