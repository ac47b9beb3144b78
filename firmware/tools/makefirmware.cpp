// Writes the shipped firmware images from their description (images.json)
// into a folder, with a Qt resource file listing them.
//   makefirmware IMAGES_JSON OUT_DIR
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "firmware_image.h"

namespace {

int fail(const std::string &message)
{
    std::fprintf(stderr, "makefirmware: %s\n", message.c_str());
    return 1;
}

// The file name the catalogue reads family, identifier and version from.
std::string fileName(const std::string &family, bool hubPortImage, uint32_t xlnkId, uint32_t version)
{
    char name[128];
    if (hubPortImage)
        std::snprintf(name, sizeof name, "%s_%05X_v%03u.bin.obf", family.c_str(), xlnkId, version);
    else
        std::snprintf(name, sizeof name, "%s_%03u.bin.rc4", family.c_str(), version);
    return name;
}

}   // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return fail("usage: makefirmware IMAGES_JSON OUT_DIR");
    std::ifstream in(argv[1]);
    if (!in)
        return fail(std::string("cannot read ") + argv[1]);
    nlohmann::json description;
    try {
        description = nlohmann::json::parse(in);
    } catch (const std::exception &e) {
        return fail(std::string(argv[1]) + ": " + e.what());
    }
    const std::string out = argv[2];
    std::string qrc = "<RCC>\n  <qresource prefix=\"/firmware\">\n";
    std::set<std::string> names;
    for (const auto &entry : description.at("images")) {
        try {
            tindrel_fwimage::Image img;
            const std::string family = entry.at("family").get<std::string>();
            img.family = entry.value("contentFamily", family);
            const bool hubPortImage = entry.contains("xlnkId");
            img.xlnkId = entry.value("xlnkId", 0u);
            img.version = entry.at("version").get<uint32_t>();
            const size_t bytes = entry.at("bytes").get<size_t>();
            if (img.version > 999 || img.xlnkId > 0xFFFFF || bytes == 0 || bytes > 32000)
                return fail("image " + family + ": version, identifier or size out of range");
            // The same bytes on every build.
            uint32_t seed = 2166136261u;   // FNV-1a of the family name
            for (unsigned char c : family)
                seed = (seed ^ c) * 16777619u;
            std::mt19937 rng(seed ^ img.version);
            img.payload.resize(bytes);
            for (auto &b : img.payload)
                b = static_cast<uint8_t>(rng());
            std::vector<uint8_t> data = tindrel_fwimage::encode(img);
            if (data.empty())
                return fail("image " + family + ": the family name does not fit");
            if (entry.value("damaged", false))
                data[data.size() / 2] ^= 0x5A;
            const std::string name = fileName(family, hubPortImage, img.xlnkId, img.version);
            if (!names.insert(name).second)
                return fail("two images named " + name);
            std::ofstream file(out + "/" + name, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
            if (!file)
                return fail("cannot write " + out + "/" + name);
            qrc += "    <file>" + name + "</file>\n";
        } catch (const std::exception &e) {
            return fail(std::string(argv[1]) + ": " + e.what());
        }
    }
    qrc += "  </qresource>\n</RCC>\n";
    std::ofstream file(out + "/firmware_images.qrc", std::ios::trunc);
    file << qrc;
    return file ? 0 : fail("cannot write the resource list");
}
