#include "test_support.h"

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

void loadRig(const std::string &json)
{
    char err[512] = {};
    ASSERT_EQ(TindrelSim_loadRigText(json.c_str(), "test rig", err, sizeof err), TINDREL_OK) << err;
}

Channel::Channel(Tindrel_ChannelClass cls)
{
    EXPECT_EQ(createTypedTindrelChannelHandle(&h, cls), TINDREL_OK);
}

Channel::~Channel()
{
    Tindrel_delete(&h);
}

} // namespace simtest
