// The local network server's dictionaries: one local dictionary device for
// every enabled dictionary file of the server's dictionary directory, as the
// server offers them. A thread looks at the directory a few times a second
// and hands what it found to the engine.
#include "engine.h"

#include <toml++/toml.h>

#include <cstdlib>
#include <filesystem>

namespace tsim {

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(250);
constexpr size_t kMaxLabel = 16;

// A value the panel may have written as text or as the type itself.
std::optional<int64_t> wholeNumber(const toml::node_view<const toml::node> &n)
{
    if (auto v = n.value<int64_t>())
        return v;
    if (auto text = n.value<std::string>()) {
        char *end = nullptr;
        const long long v = std::strtoll(text->c_str(), &end, 10);
        if (end != text->c_str() && *end == '\0')
            return v;
    }
    return std::nullopt;
}

bool flag(const toml::node_view<const toml::node> &n)
{
    if (auto v = n.value<bool>())
        return *v;
    return n.value<std::string>().value_or("") == "true";
}

std::string shortLabel(std::string label)
{
    if (label.size() <= kMaxLabel)
        return label;
    size_t n = kMaxLabel;
    while (n > 0 && (static_cast<unsigned char>(label[n]) & 0xC0) == 0x80)
        --n;   // not inside a character
    label.resize(n);
    return label;
}

}   // namespace

std::optional<DictionaryFile> readDictionaryFile(const std::string &path)
{
    try {
        const toml::table table = toml::parse_file(path);
        const toml::node_view<const toml::node> d = table["dictionary"];
        DictionaryFile f;
        const auto sn = wholeNumber(d["sn"]);
        if (!sn || *sn < INT32_MIN || *sn > INT32_MAX)
            return std::nullopt;
        f.sn = static_cast<int32_t>(*sn);
        f.label = shortLabel(d["label"].value<std::string>().value_or(""));
        f.enabled = flag(d["enabled"]);
        return f;
    } catch (const toml::parse_error &) {
        return std::nullopt;
    }
}

std::vector<DictionaryFile> readDictionaryFiles(const std::string &directory)
{
    std::vector<DictionaryFile> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec)
        return files;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code kind;
        const std::string name = it->path().filename().string();
        if (it->is_directory(kind) || name.size() < 5 || name.compare(name.size() - 4, 4, ".dpc") != 0)
            continue;
        if (auto f = readDictionaryFile(it->path().string()))
            files.push_back(std::move(*f));
    }
    return files;
}

std::string Engine::dictionaryDirectory() const
{
    if (dictionaryDirOverride)
        return *dictionaryDirOverride;
    if (const char *env = std::getenv("TINDREL_DICTIONARY_DIR"))
        return env;
    return rig.dictionaryDirectory;
}

void Engine::watchDictionaries()
{
    if (dictionaryWatcher || dictionaryDirectory().empty())
        return;
    dictionaryWatcher = true;
    std::thread([this] {
        for (;;) {
            std::string dir;
            {
                std::lock_guard<std::mutex> lk(m);
                dir = dictionaryDirectory();
            }
            std::vector<DictionaryFile> files;
            if (!dir.empty())
                files = readDictionaryFiles(dir);
            {
                std::lock_guard<std::mutex> lk(m);
                // A directory changed meanwhile is read again next time.
                if (dir == dictionaryDirectory())
                    offerDictionaries(files);
            }
            std::this_thread::sleep_for(kLookEvery);
        }
    }).detach();
}

void Engine::offerDictionaries(const std::vector<DictionaryFile> &files)
{
    std::map<int32_t, const DictionaryFile *> wanted;
    for (const DictionaryFile &f : files)
        if (f.enabled)
            wanted[f.sn] = &f;
    bool changed = false;
    for (auto &[sn, dev] : fileDictionaries) {
        const bool on = wanted.count(sn) && wanted[sn]->label == dev->label;
        if (devOn[dev.get()] != on) {
            devOn[dev.get()] = on;
            changed = true;
        }
    }
    const ClassDesc *cls = classByNumber(TINDREL_CHCLASS_DICTIONARY);
    for (auto &[sn, f] : wanted) {
        auto known = fileDictionaries.find(sn);
        if (known != fileDictionaries.end() && known->second->label == f->label)
            continue;
        // New, or relabelled: a device with the file's label, keeping what
        // the dictionary held.
        auto d = std::make_shared<DeviceInfo>();
        d->id = strprintf("dictionary-%d", sn);
        d->sku = "TDR2900_0";
        d->name = "Server Dictionary";
        d->label = f->label;
        d->deviceId = 200;
        d->deviceClass = 2;   // a plain device
        d->version = 100;
        d->serial = sn;
        auto ci = std::make_shared<ChannelInfo>();
        ci->cls = cls;
        ci->name = "Dictionary";
        ci->device = d;
        auto c = std::make_shared<Channel>();
        c->info = ci;
        c->reset();
        if (known != fileDictionaries.end())
            for (auto &old : channels)
                if (old->info->device == known->second)
                    c->kept = old->kept;
        rig.devices.push_back(d);
        rig.channels.push_back(ci);
        channels.push_back(c);
        devById[d->id] = d;
        devOn[d.get()] = true;
        fileDictionaries[sn] = d;
        changed = true;
    }
    if (changed)
        refresh();
}

}   // namespace tsim
