// Writes a seed corpus for the raiseTool fuzz targets: one file per kind of
// command block, each prefixed with run flags and an authorization.
#include "Protocol.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace tindrel::raisetool;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const std::vector<Block> blocks = {
        *makeWriteFileBlock("/etc/new/x.pc", "key=value\n"),
        *makeWriteFileBlock("/etc/existing", ""),
        *makeWriteFileBlock("/etc/link", "x", 2),
        *makeDeleteFileBlock("/etc/existing"),
        *makeDeleteFileBlock("/etc/missing", 7),
        *makeServiceBlock("com.tindrels.tindrel22networkserver", "start"),
        *makeServiceBlock("/etc/systemd/system/x.service", "unload"),
        makeLoadDriverBlock(),
        makeRawBlock(1, 4),
        *makeWriteFileBlock("/etc/tindrel22networkserver/tindrel22networkserver.pc", "k=v\n", 2),
        *makeWriteFileBlock("/etc/tindrel22networkserver/dictionary.d/lab", "a\n"),
        *makeDeleteFileBlock("/etc/tindrel22networkserver/tindrel22networkserver.pc", 2),
        *makeServiceBlock("/etc/systemd/system/tindrel22networkserver.service", "load"),
        *makeWriteFileBlock("/etc/sudoers.d/me", "me ALL=(ALL) ALL\n", 2),
    };
    // Root with both rights and an accepted form, read whole; then a
    // non-root run and a repair run in small interrupted pieces.
    // The last one grants the user right on the caller's own password only.
    const unsigned char runs[][2] = {{0x3c, 0}, {0x78, 13}, {0x7d, 200}, {0xb4, 0}};
    int n = 0;
    for (const auto &block : blocks) {
        for (const auto &run : runs) {
            std::ofstream out(dir / ("seed-" + std::to_string(n++)), std::ios::binary);
            out.write(reinterpret_cast<const char *>(run), 2);
            if ((run[0] & 0x03) != 1)
                out.write(std::string(32, 'A').data(), 32);
            out.write(reinterpret_cast<const char *>(block.data()), static_cast<std::streamsize>(block.size()));
        }
    }
    return 0;
}
