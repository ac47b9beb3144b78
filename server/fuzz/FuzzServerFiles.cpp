// libFuzzer target: the files the server panel reads and rewrites, the
// daemon's configuration and its dictionaries. Whatever the file held, what
// the panel writes over it must read back as what the panel meant.
#include "Dictionaries.h"
#include "ServerConfig.h"

#include <cstdlib>
#include <string>

using namespace tindrel::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);

    ServerSettings settings = settingsFromText(text);
    settings.startAtBoot = !settings.startAtBoot;
    settings.publishName = "Bench \"7\" \\ \xc3\xbc";
    const RenderedConfig config = renderServerSettingsOver(settings, text);
    if (config.result == RenderedConfig::Result::Conflict && config.text.empty())
        std::abort();   // a conflict names its key
    if (config.result == RenderedConfig::Result::Ok) {
        if (config.text.size() >= kRenderBufferSize)
            std::abort();
        if (!(settingsFromText(config.text) == settings))
            std::abort();   // the panel's settings did not survive the rewrite
    }

    const auto dictionary = dictionaryFromText(text);
    TindrelDictionary wanted{1000 + static_cast<std::int32_t>(size % 5000), "Lab \"A\"",
                             !dictionary || !dictionary->enabled};
    const RenderedConfig file = renderDictionaryOver(wanted, text);
    if (file.result == RenderedConfig::Result::Ok) {
        if (file.text.size() >= kDictionaryRenderBufferSize)
            std::abort();
        const auto back = dictionaryFromText(file.text);
        if (!back || !(*back == wanted))
            std::abort();   // the dictionary did not survive the rewrite
    }

    const std::int32_t serial = serialValue(text);
    const SerialCheck check = checkDictionarySerial(text);
    if ((check == SerialCheck::Valid) != (serial >= 1000))
        std::abort();
    return 0;
}
