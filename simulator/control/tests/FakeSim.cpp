#include "FakeSim.h"

#include <cstring>

namespace fakesim {

namespace {

TindrelReturnCode record(std::string call)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.calls.push_back(std::move(call));
    return s.result;
}

TindrelReturnCode list(char *buf, size_t *len)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.calls.emplace_back("list");
    if (s.result != TINDREL_OK)
        return s.result;
    const size_t needed = s.listJson.size() + 1;
    if (*len < needed) {
        *len = needed;
        return TINDREL_ENOSPC;
    }
    std::memcpy(buf, s.listJson.c_str(), needed);
    *len = needed;
    return TINDREL_OK;
}

TindrelReturnCode attach(const char *id) { return record(std::string("attach ") + id); }
TindrelReturnCode detach(const char *id) { return record(std::string("detach ") + id); }
TindrelReturnCode addServer(const char *id) { return record(std::string("add-server ") + id); }
TindrelReturnCode removeServer(const char *id) { return record(std::string("remove-server ") + id); }

TindrelReturnCode injectError(const char *id, Tindrel_ChannelClass cls, int index, int32_t code, const char *text)
{
    return record("error " + std::string(id) + " " + std::to_string(cls) + " " + std::to_string(index) + " " +
                  std::to_string(code) + " [" + text + "]");
}

TindrelReturnCode setInput(const char *id, Tindrel_ChannelClass cls, int index, const char *property, double value)
{
    return record("set " + std::string(id) + " " + std::to_string(cls) + " " + std::to_string(index) + " " + property +
                  " " + std::to_string(value));
}

TindrelReturnCode turnShaft(const char *id, int index, double countsPerSecond)
{
    return record("shaft " + std::string(id) + " " + std::to_string(index) + " " + std::to_string(countsPerSecond));
}

TindrelReturnCode getProperty(const char *id, Tindrel_ChannelClass cls, int index, const char *property, double *value)
{
    *value = state().value;
    return record("get " + std::string(id) + " " + std::to_string(cls) + " " + std::to_string(index) + " " + property);
}

TindrelReturnCode load(const char *path, char *err, size_t errLen)
{
    const TindrelReturnCode rc = record(std::string("load ") + path);
    if (rc != TINDREL_OK && errLen > 0) {
        std::lock_guard lock(state().mutex);
        std::strncpy(err, state().loadError.c_str(), errLen - 1);
        err[errLen - 1] = '\0';
    }
    return rc;
}

TindrelReturnCode upgradeFault(const char *id, TindrelSimUpgradeFault fault, int count)
{
    return record("upgrade-fault " + std::string(id) + " " + std::to_string(fault) + " " + std::to_string(count));
}

TindrelReturnCode motorCondition(const char *id, int index, const char *condition, double value)
{
    return record("motor " + std::string(id) + " " + std::to_string(index) + " " + condition + " " +
                  std::to_string(value));
}

std::string lastError()
{
    std::lock_guard lock(state().mutex);
    return state().lastError;
}

TindrelReturnCode setGuardSupply(const char *id, int index, double volts, double celsius)
{
    return record("supply " + std::string(id) + " " + std::to_string(index) + " " + std::to_string(volts) + " " +
                  std::to_string(celsius));
}

}   // namespace

State &state()
{
    static State s;
    return s;
}

void reset()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
    s.result = TINDREL_OK;
    s.lastError.clear();
    s.listJson = "{}";
    s.loadError.clear();
    s.value = 0.0;
}

std::vector<std::string> calls()
{
    std::lock_guard lock(state().mutex);
    return state().calls;
}

TindrelReturnCode orient(const char *id, double roll, double pitch, double yaw, double turnRate)
{
    return record("orient " + std::string(id) + " " + std::to_string(roll) + " " + std::to_string(pitch) + " " +
                  std::to_string(yaw) + " " + std::to_string(turnRate));
}

TindrelReturnCode failCalls(double share, uint32_t seed)
{
    return record("fail-calls " + std::to_string(share) + " " + std::to_string(seed));
}

tindrel::control::SimCalls table()
{
    tindrel::control::SimCalls t{&list,         &attach,         &detach,      &addServer,      &removeServer,
                                 &injectError,  &setInput,       &getProperty, &load,           &lastError,
                                 &upgradeFault, &motorCondition, &turnShaft,   &setGuardSupply, &orient};
    t.failCalls = &failCalls;
    return t;
}

}   // namespace fakesim
