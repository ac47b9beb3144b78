// The network server's dictionaries as the panel keeps them: one small
// configuration file per dictionary, named after its serial number, in the
// dictionary directory. Keys the panel does not manage survive a rewrite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ServerConfig.h"

namespace tindrel::server {

struct TindrelDictionary {
    std::int32_t sn = 0;
    std::string label;
    bool enabled = false;
    bool operator==(const TindrelDictionary &) const = default;
};

// A record from a dictionary file's text; nothing when the text does not parse.
std::optional<TindrelDictionary> dictionaryFromText(const std::string &text);

// A file's whole text; nothing when it cannot be read.
std::optional<std::string> readTextFile(const std::string &path);

// "<directory>/<sn>.dpc".
std::string dictionaryFilePath(const std::string &directory, std::int32_t sn);

// Every parsable "*.dpc" file of the directory (sub-directories and other
// names are ignored), in the order the directory lists them; empty when the
// directory cannot be read.
std::vector<TindrelDictionary> readDictionaryDirectory(const std::string &directory);

// The largest serial number in use but at least 1000, plus one. Never wraps:
// when the largest number cannot be exceeded there is none to propose.
std::optional<std::int32_t> nextDictionarySerial(const std::vector<TindrelDictionary> &dictionaries);

enum class SerialCheck { Valid, RefusedSilently, RefusedWithAlert };
inline constexpr const char *kSerialNotValidTitle = "Serial Number not valid";
inline constexpr const char *kSerialNotValidText = "Reason: must be a number >= 1000";

// The add sheet's serial field: no text is refused silently, an integer value
// of 999 or less (text that is no number counts as 0) with an alert.
SerialCheck checkDictionarySerial(const std::optional<std::string> &text);
// The integer value of typed text: leading blanks, an optional sign and the
// digits that follow; 0 when there are none; clamped to the 32-bit range.
std::int32_t serialValue(const std::string &text);

// The file's new text: the existing text (an empty configuration when it is
// missing or does not parse) with the label, serial number and enabled flag
// set. Nothing when the result does not fit the 16384-byte render buffer.
RenderedConfig renderDictionaryOver(const TindrelDictionary &dictionary, const std::optional<std::string> &text);

inline constexpr std::size_t kDictionaryRenderBufferSize = 16384;

}   // namespace tindrel::server
