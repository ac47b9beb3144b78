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

TindrelReturnCode lcdPicture(const char *id, int index, uint8_t *levels, size_t *len, int *width, int *height)
{
    const TindrelReturnCode rc = record("lcd-picture " + std::string(id) + " " + std::to_string(index));
    std::lock_guard lock(state().mutex);
    const std::vector<uint8_t> &picture = state().picture;
    *width = state().pictureWidth;
    *height = state().pictureHeight;
    const size_t room = *len;
    *len = picture.size();
    if (rc != TINDREL_OK)
        return rc;
    if (!levels || room < picture.size())
        return TINDREL_ENOSPC;
    std::memcpy(levels, picture.data(), picture.size());
    return TINDREL_OK;
}

TindrelReturnCode busLog(const char *id, char *buf, size_t *len)
{
    const TindrelReturnCode rc = record("bus-log " + std::string(id));
    std::lock_guard lock(state().mutex);
    const std::string &log = state().busLog;
    const size_t room = *len;
    *len = log.size() + 1;
    if (rc != TINDREL_OK)
        return rc;
    if (room < log.size() + 1)
        return TINDREL_ENOSPC;
    std::memcpy(buf, log.c_str(), log.size() + 1);
    return TINDREL_OK;
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
    s.picture.clear();
    s.pictureWidth = s.pictureHeight = 0;
    s.busLog.clear();
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

TindrelReturnCode dictionarySet(const char *id, int index, const char *key, const char *value)
{
    return record("dict-set " + std::string(id) + " " + std::to_string(index) + " " + key + " " + value);
}

TindrelReturnCode dictionaryRemove(const char *id, int index, const char *key)
{
    return record("dict-remove " + std::string(id) + " " + std::to_string(index) + " " + key);
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
    t.getLCDPicture = &lcdPicture;
    t.getBusLog = &busLog;
    t.setDictionaryKey = &dictionarySet;
    t.removeDictionaryKey = &dictionaryRemove;
    t.failCalls = &failCalls;
    return t;
}

}   // namespace fakesim
