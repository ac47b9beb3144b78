// libFuzzer target: firmware image files, their bytes as the device reads
// them and their names as the catalogue reads them. An image that reads must
// write back to the very same bytes; a refused one says why.
#include "FirmwareCatalogue.h"
#include "firmware_image.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    namespace img = tindrel_fwimage;
    std::vector<std::uint8_t> bytes(data, data + size);
    // Half the inputs get a correct checksum, so that the reader's later
    // checks are reached too.
    if (size > 4 && (data[size - 1] & 1)) {
        const std::uint32_t crc = img::crc32(bytes.data(), size - 4);
        for (int i = 0; i < 4; ++i)
            bytes[size - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    img::Problem problem = img::Problem::None;
    if (const auto image = img::decode(bytes.data(), bytes.size(), &problem)) {
        if (problem != img::Problem::None || img::encode(*image) != bytes)
            std::abort();
    } else if (problem == img::Problem::None) {
        std::abort();
    }

    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const auto record = tindrel::fw::initWithFile(QStringLiteral("/firmware/") + name)) {
        if (record->version < 0 || record->version > 999)
            std::abort();
        if (record->isXlnk && (!record->fwString || record->fwString->isEmpty()))
            std::abort();
    }
    return 0;
}
