// The layout of the firmware images our devices accept. The device library
// checks an image against the device before it writes it; the build writes
// the shipped images with the same code (firmware/tools/makefirmware.cpp).
//
// All numbers little-endian:
//   8 bytes  magic "TDRFWIMG"
//   1 byte   layout version (1)
//   1 byte   family name length n (1 - 32)
//   n bytes  family name (the device's firmware-upgrade string)
//   4 bytes  device identifier (hub-port devices; 0 for the others)
//   4 bytes  image version
//   4 bytes  payload length m
//   m bytes  payload
//   4 bytes  CRC-32 of everything before it
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel_fwimage {

inline constexpr char kMagic[8] = {'T', 'D', 'R', 'F', 'W', 'I', 'M', 'G'};
inline constexpr uint8_t kLayoutVersion = 1;
inline constexpr size_t kMaxFamily = 32;

struct Image {
    std::string family;
    uint32_t xlnkId = 0;
    uint32_t version = 0;
    std::vector<uint8_t> payload;
};

enum class Problem { None, TooShort, BadMagic, BadLayout, BadLength, BadChecksum };

inline uint32_t crc32(const uint8_t *data, size_t n)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace detail {
inline void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline uint32_t get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}   // namespace detail

// The bytes of an image; an empty result for a family name that does not fit.
inline std::vector<uint8_t> encode(const Image &img)
{
    if (img.family.empty() || img.family.size() > kMaxFamily)
        return {};
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.push_back(kLayoutVersion);
    out.push_back(static_cast<uint8_t>(img.family.size()));
    out.insert(out.end(), img.family.begin(), img.family.end());
    detail::put32(out, img.xlnkId);
    detail::put32(out, img.version);
    detail::put32(out, static_cast<uint32_t>(img.payload.size()));
    out.insert(out.end(), img.payload.begin(), img.payload.end());
    detail::put32(out, crc32(out.data(), out.size()));
    return out;
}

// Reads an image; on a problem returns nothing and says which.
inline std::optional<Image> decode(const uint8_t *data, size_t n, Problem *problem = nullptr)
{
    auto bad = [&](Problem p) -> std::optional<Image> {
        if (problem)
            *problem = p;
        return std::nullopt;
    };
    if (problem)
        *problem = Problem::None;
    constexpr size_t kFixed = sizeof kMagic + 2 + 12 + 4;   // everything but the name and payload
    if (!data || n < kFixed)
        return bad(Problem::TooShort);
    if (std::string_view(reinterpret_cast<const char *>(data), sizeof kMagic) !=
        std::string_view(kMagic, sizeof kMagic))
        return bad(Problem::BadMagic);
    const size_t familyLen = data[sizeof kMagic + 1];
    if (data[sizeof kMagic] != kLayoutVersion || familyLen == 0 || familyLen > kMaxFamily)
        return bad(Problem::BadLayout);
    if (n < kFixed + familyLen)
        return bad(Problem::TooShort);
    const uint8_t *p = data + sizeof kMagic + 2;
    Image img;
    img.family.assign(reinterpret_cast<const char *>(p), familyLen);
    p += familyLen;
    img.xlnkId = detail::get32(p);
    img.version = detail::get32(p + 4);
    const size_t payloadLen = detail::get32(p + 8);
    p += 12;
    if (payloadLen != n - kFixed - familyLen)
        return bad(Problem::BadLength);
    if (crc32(data, n - 4) != detail::get32(data + n - 4))
        return bad(Problem::BadChecksum);
    img.payload.assign(p, p + payloadLen);
    return img;
}

inline const char *describe(Problem p)
{
    switch (p) {
    case Problem::None:
        return "no problem";
    case Problem::TooShort:
        return "it is too short to be an image";
    case Problem::BadMagic:
        return "it is not a firmware image";
    case Problem::BadLayout:
        return "its header is damaged";
    case Problem::BadLength:
        return "its length does not match its header";
    case Problem::BadChecksum:
        return "its checksum does not match";
    }
    return "it is damaged";
}

}   // namespace tindrel_fwimage
