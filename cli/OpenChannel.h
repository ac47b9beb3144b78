#pragma once

// Opening a channel by its command-line address: the same steps, in the same
// order, as the example windows' open settings, without alerts; failures come
// back with the library's detail text.

#include <cstdint>
#include <optional>

#include "ChannelHandle.h"
#include "ClassTable.h"
#include "Exit.h"
#include "OpenSettings.h"

namespace tindrel::cli {

inline constexpr uint32_t kDefaultOpenTimeoutMs = 3000;

// Makes the class's handle in `handle` (a previous one is torn down).
std::optional<Failure> createChannel(ChannelHandle &handle, const ClassInfo &cls);

// Applies the address to the created handle and waits up to timeoutMs for
// the channel to attach. Handlers the caller needs must be registered first.
std::optional<Failure> openChannel(ChannelHandle &handle, const ClassInfo &cls, const OpenSettings &address,
                                   uint32_t timeoutMs);

// The address of an attached channel, read from its handle: serial number
// (the hub's for a device on a hub port), hub port, channel, port mode and
// the server for a remote channel.
OpenSettings attachedAddress(TindrelHandle ch);

// "the library's detail text" of the calling thread's last error, or the
// code's description.
std::string libraryMessage(TindrelReturnCode code);

}   // namespace tindrel::cli
