// The images the build writes from images.json: each is catalogued from its
// name and carries the device, identifier and version its name says.
#include <gtest/gtest.h>

#include <fstream>

#include <QFile>
#include <nlohmann/json.hpp>

#include "FirmwareCatalogue.h"
#include "FirmwareController.h"
#include "firmware_image.h"

using namespace tindrel::fw;

TEST(ShippedImages, EveryDescribedImageIsCataloguedAndReadsAsDescribed)
{
    std::ifstream in(TINDREL_IMAGES_JSON);
    ASSERT_TRUE(in);
    const nlohmann::json description = nlohmann::json::parse(in);
    const std::vector<FirmwareUpgrade> list = loadFirmwares(tindrel::FirmwareController::shippedFolder());
    ASSERT_EQ(list.size(), description.at("images").size());
    for (const auto &entry : description.at("images")) {
        const QString family = QString::fromStdString(entry.at("family").get<std::string>());
        const int version = entry.at("version").get<int>();
        const uint32_t xlnkId = entry.value("xlnkId", 0u);
        const auto found = std::find_if(list.begin(), list.end(), [&](const FirmwareUpgrade &fw) {
            return fw.fwString == family && fw.version == version && fw.xlnkId == xlnkId &&
                   fw.isXlnk == entry.contains("xlnkId");
        });
        ASSERT_NE(found, list.end()) << family.toStdString() << " " << version;
        QFile file(found->filePath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_LE(bytes.size(), 32768);
        tindrel_fwimage::Problem problem;
        const auto img =
            tindrel_fwimage::decode(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size(), &problem);
        if (entry.value("damaged", false)) {
            EXPECT_EQ(problem, tindrel_fwimage::Problem::BadChecksum);
            continue;
        }
        ASSERT_TRUE(img) << family.toStdString();
        EXPECT_EQ(img->family, entry.value("contentFamily", family.toStdString()));
        EXPECT_EQ(img->xlnkId, xlnkId);
        EXPECT_EQ(static_cast<int>(img->version), version);
        EXPECT_EQ(img->payload.size(), entry.at("bytes").get<size_t>());
    }
}
