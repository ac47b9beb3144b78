#pragma once

// A channel's settable properties to and from a settings file entry, on an
// open channel handle: shared by `tindrel save`/`tindrel apply` and the
// panel's example windows, so both write and read one format.

#include <string>
#include <vector>

#include "ClassTable.h"
#include "OpenSettings.h"
#include "SettingsFile.h"

namespace tindrel::cli {

settings::ChannelAddress toFileAddress(const OpenSettings &address);
OpenSettings fromFileAddress(const settings::ChannelAddress &address);

// Reads an attached channel into out: its class, its address (as found on
// the channel), a note of its device and every settable property it
// supports. A property that fails for another reason than being unsupported
// is left out and described in problems ("DutyCycle not saved: ...").
void captureChannel(const ClassInfo &cls, TindrelHandle channel, settings::ChannelSettings &out,
                    std::vector<std::string> &problems);

struct AppliedSetting {
    const PropertyInfo *property;
    Value value;
};

struct SetOutcome {
    size_t asked = 0;                    // properties the entry names
    std::vector<AppliedSetting> set;     // accepted by the channel, in the order set
    std::vector<std::string> problems;   // one sentence per property not set
};

// Sets the entry's properties on the channel in apply order (the scale
// first, engagement last). A property the class lacks, a value out of the
// property's type or one the channel refuses is described and skipped; the
// rest are still set.
SetOutcome setChannel(const ClassInfo &cls, TindrelHandle channel, const settings::ChannelSettings &entry);

struct ReadBackOutcome {
    size_t matching = 0;
    std::vector<std::string> problems;      // "X cannot be read back: ..."
    std::vector<std::string> differences;   // "X differs: set a, reads b"
};

// Reads every setting that was set and compares it with what was set.
ReadBackOutcome readBack(TindrelHandle channel, const std::vector<AppliedSetting> &set);

// The entry of a file meant for one channel: the first of its class whose
// address names it (a serial number of 0 names any), else the first of its
// class; null when the file has none of the class.
const settings::ChannelSettings *entryFor(const settings::SettingsFile &file, std::string_view className,
                                          const settings::ChannelAddress &channel);

}   // namespace tindrel::cli
