// libFuzzer target: server record files as browsers read them from the
// discovery directory. A record that parses must be publishable and must
// read back the same once written; a refusal must say why.
#include "discovery_record.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::string err;
    const auto file = tsim::remote::parseRecordFile(text, err);
    if (!file) {
        if (err.empty())
            std::abort();
        return 0;
    }
    if (!tsim::remote::recordProblem(file->record).empty())
        std::abort();
    const auto again = tsim::remote::parseRecordFile(tsim::remote::formatRecordFile(*file), err);
    if (!again || *again != *file)
        std::abort();
    const std::string name = tsim::remote::recordFileName(file->record.name);
    if (name.find('/') != std::string::npos || name.starts_with('.'))
        std::abort();
    return 0;
}
