#include "ChannelSettingsIO.h"

#include <algorithm>

#include "OpenChannel.h"
#include "Values.h"

namespace tindrel::cli {

namespace {

settings::Number toNumber(const Value &v)
{
    if (const double *d = std::get_if<double>(&v))
        return *d;
    if (const int64_t *i = std::get_if<int64_t>(&v))
        return *i;
    if (const uint64_t *u = std::get_if<uint64_t>(&v))
        return static_cast<int64_t>(*u);
    return int64_t{0};
}

}   // namespace

settings::ChannelAddress toFileAddress(const OpenSettings &a)
{
    settings::ChannelAddress out;
    out.serialNumber = a.serialNumber;
    out.hubPort = a.hubPort;
    out.channel = a.channel;
    out.hubPortDevice = a.hubPortDevice;
    out.remote = a.opensRemotely();
    if (a.serverName)
        out.serverName = a.serverName->toStdString();
    if (a.label)
        out.label = a.label->toStdString();
    return out;
}

OpenSettings fromFileAddress(const settings::ChannelAddress &a)
{
    OpenSettings out;
    out.serialNumber = a.serialNumber;
    out.hubPort = a.hubPort;
    out.channel = a.channel;
    out.hubPortDevice = a.hubPortDevice;
    out.remote = a.remote;
    if (a.serverName)
        out.serverName = QString::fromStdString(*a.serverName);
    if (a.label)
        out.label = QString::fromStdString(*a.label);
    return out;
}

void captureChannel(const ClassInfo &cls, TindrelHandle h, settings::ChannelSettings &out,
                    std::vector<std::string> &problems)
{
    out.className = cls.name;
    out.address = toFileAddress(attachedAddress(h));
    settings::DeviceNote note;
    const char *text = nullptr;
    if (Tindrel_getDeviceName(h, &text) == TINDREL_OK && text)
        note.name = text;
    if (Tindrel_getDeviceSKU(h, &text) == TINDREL_OK && text)
        note.sku = text;
    Tindrel_getDeviceID(h, &note.deviceId);
    int version = 0;
    if (Tindrel_getDeviceVersion(h, &version) == TINDREL_OK)
        note.version = version;
    out.device = note;
    out.properties.clear();
    for (const PropertyInfo &p : cls.properties) {
        if (!p.writable())
            continue;
        Value v;
        const TindrelReturnCode rc = p.get(h, v);
        if (rc == TINDREL_OK)
            out.properties.emplace_back(p.name, toNumber(v));
        else if (rc != TINDREL_EUNSUPPORTED)
            problems.push_back(std::string(p.name) + " not saved: " + libraryMessage(rc));
    }
}

SetOutcome setChannel(const ClassInfo &cls, TindrelHandle h, const settings::ChannelSettings &entry)
{
    // Table order for the known ones, the file's order for the rest, then
    // the scale first and engagement last.
    std::vector<std::string> names;
    for (const PropertyInfo &p : cls.properties)
        for (const auto &[name, number] : entry.properties)
            if (cls.property(name) == &p)
                names.push_back(name);
    for (const auto &[name, number] : entry.properties)
        if (!cls.property(name))
            names.push_back(name);
    names = settings::applyOrder(std::move(names));

    SetOutcome out;
    out.asked = names.size();
    std::string problem;
    for (const std::string &name : names) {
        const auto it = std::find_if(entry.properties.begin(), entry.properties.end(),
                                     [&](const auto &e) { return e.first == name; });
        const PropertyInfo *p = cls.property(name);
        if (!p) {
            out.problems.push_back(cls.libraryName() + " has no property \"" + name + "\"");
            continue;
        }
        auto v = valueFromNumber(*p, it->second, &problem);
        if (!v) {
            out.problems.push_back(problem);
            continue;
        }
        if (!p->set) {
            out.problems.push_back(std::string(p->name) + " cannot be set");
            continue;
        }
        const TindrelReturnCode rc = p->set(h, *v);
        if (rc != TINDREL_OK) {
            out.problems.push_back("setting " + std::string(p->name) + " to " + formatValue(*v) +
                                   " failed: " + libraryMessage(rc));
            continue;
        }
        out.set.push_back({p, *v});
    }
    return out;
}

ReadBackOutcome readBack(TindrelHandle h, const std::vector<AppliedSetting> &set)
{
    ReadBackOutcome out;
    for (const auto &[p, v] : set) {
        Value back;
        const TindrelReturnCode rc = p->get(h, back);
        if (rc != TINDREL_OK)
            out.problems.push_back(std::string(p->name) + " cannot be read back: " + libraryMessage(rc));
        else if (!sameSetting(v, back))
            out.differences.push_back(std::string(p->name) + " differs: set " + formatValue(v) + ", reads " +
                                      formatValue(back));
        else
            ++out.matching;
    }
    return out;
}

const settings::ChannelSettings *entryFor(const settings::SettingsFile &file, std::string_view className,
                                          const settings::ChannelAddress &channel)
{
    const settings::ChannelSettings *firstOfClass = nullptr;
    for (const settings::ChannelSettings &c : file.channels) {
        if (c.className != className)
            continue;
        const settings::ChannelAddress &a = c.address;
        if ((a.serialNumber == 0 || a.serialNumber == channel.serialNumber) && a.hubPort == channel.hubPort &&
            a.channel == channel.channel && a.hubPortDevice == channel.hubPortDevice)
            return &c;
        if (!firstOfClass)
            firstOfClass = &c;
    }
    return firstOfClass;
}

}   // namespace tindrel::cli
