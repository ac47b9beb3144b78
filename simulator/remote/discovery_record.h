// What both ways of finding servers accept in a record, and the record
// file the directory way keeps per published server.
#pragma once

#include "discovery.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tsim::remote {

// Longest publish name: one DNS label.
inline constexpr std::size_t kMaxNameBytes = 63;
// Longest host name or address kept.
inline constexpr std::size_t kMaxHostBytes = 255;
// Longest announcement item, "key=value".
inline constexpr std::size_t kMaxTxtItemBytes = 255;
inline constexpr std::size_t kMaxTxtItems = 64;
// Largest record file read; a bigger one is refused unread.
inline constexpr std::size_t kMaxRecordFileBytes = 16 * 1024;

// Empty when the record may be published; otherwise why not. Host and
// address may be empty (the publishing side fills them in).
std::string recordProblem(const ServiceRecord &record);

struct RecordFile {
    ServiceRecord record;
    long pid = 0;   // the publishing process
    bool operator==(const RecordFile &) const = default;
};

// "<name, with every byte outside [A-Za-z0-9_-] as %XX>.server": one file
// name per publish name, never hidden, never a path.
std::string recordFileName(const std::string &name);
inline constexpr std::string_view kRecordFileSuffix = ".server";

// The record file's lines: a header line, then "key value" lines whose
// values have spaces, '%' and bytes outside printable ASCII as %XX.
std::string formatRecordFile(const RecordFile &file);
// Null, with err saying what is wrong, for anything but a whole record.
std::optional<RecordFile> parseRecordFile(std::string_view text, std::string &err);

}   // namespace tsim::remote
