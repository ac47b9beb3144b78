#include "FirmwareCatalogue.h"

#include <cctype>

#include <QDir>
#include <QFileInfo>

namespace tindrel::fw {

namespace {

constexpr qsizetype kSuffixLength = 8;    // ".bin.obf", ".bin.rc4"
constexpr qsizetype kVersionDigits = 3;   // just before the suffix
constexpr qsizetype kXlnkFromEnd = 18;    // the identifier starts this far from the end
constexpr qsizetype kXlnkDigits = 5;
constexpr qsizetype kRc4FamilyCut = 12;   // suffix, version and one character

std::optional<uint32_t> number(QStringView text, int base)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool ok = u < 128 && (base == 10 ? std::isdigit(u) : std::isxdigit(u));
        if (!ok)
            return std::nullopt;
    }
    bool ok = false;
    const uint32_t v = text.toUInt(&ok, base);
    return ok ? std::optional<uint32_t>(v) : std::nullopt;
}

}   // namespace

std::optional<FirmwareUpgrade> initWithFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.size() < kSuffixLength + kVersionDigits)
        return std::nullopt;
    const auto version =
        number(QStringView(name).mid(name.size() - kSuffixLength - kVersionDigits, kVersionDigits), 10);
    if (!version)
        return std::nullopt;
    FirmwareUpgrade fw;
    fw.filePath = path;
    fw.version = static_cast<int32_t>(*version);
    const QStringView suffix = QStringView(name).right(kSuffixLength);
    if (suffix == u".bin.obf") {
        if (name.size() < kXlnkFromEnd)
            return std::nullopt;
        const auto id = number(QStringView(name).mid(name.size() - kXlnkFromEnd, kXlnkDigits), 16);
        const qsizetype underscore = name.indexOf(QLatin1Char('_'));
        // The family ends at the first "_", which must come before the identifier.
        if (!id || underscore <= 0 || underscore > name.size() - kXlnkFromEnd)
            return std::nullopt;
        fw.isXlnk = true;
        fw.xlnkId = *id;
        fw.fwString = name.left(underscore);
    } else if (suffix == u".bin.rc4") {
        if (name.size() <= kRc4FamilyCut)
            return std::nullopt;
        fw.isXlnk = false;
        fw.fwString = name.left(name.size() - kRc4FamilyCut);
    }
    return fw;
}

std::vector<FirmwareUpgrade> loadFirmwares(const QString &folder)
{
    std::vector<FirmwareUpgrade> firmwares;
    const QDir dir(folder);
    for (const QString &file : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        if (auto fw = initWithFile(dir.filePath(file)))
            firmwares.push_back(std::move(*fw));
    }
    return firmwares;
}

std::optional<FirmwareUpgrade> latestFirmware(const DeviceFirmwareId &device, const std::vector<FirmwareUpgrade> &list)
{
    const FirmwareUpgrade *best = nullptr;
    for (const FirmwareUpgrade &fw : list) {
        if (!fw.fwString || *fw.fwString != device.fwString)
            continue;
        if (device.hubPortDevice && fw.xlnkId != device.xlnkId)
            continue;
        if (!best || fw.version > best->version)
            best = &fw;
    }
    return best ? std::optional<FirmwareUpgrade>(*best) : std::nullopt;
}

}   // namespace tindrel::fw
