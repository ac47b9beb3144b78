// Finding servers through a directory of record files, one per published
// server, for machines without an mDNS responder. Browsers watch the
// directory and rescan it every second, which also drops the records of
// publishers that died without removing their file.
#include "discovery.h"
#include "discovery_record.h"

#include "UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

namespace tsim::remote {
namespace {

using tindrel::UniqueFd;

constexpr int kRescanMs = 1000;

std::string errnoText(const std::string &what) { return what + ": " + std::strerror(errno); }

bool processAlive(long pid)
{
    // EPERM: alive, but another user's.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// The whole of a regular file of at most kMaxRecordFileBytes; never follows
// a link nor blocks on a pipe.
std::optional<std::string> readBounded(int dirFd, const std::string &name, std::string &err)
{
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        err = errno == ENOENT ? std::string() : errnoText("cannot open");   // empty: simply gone
        return std::nullopt;
    }
    struct stat st { };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err = "not a regular file";
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (text.size() <= kMaxRecordFileBytes) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errnoText("cannot read");
            return std::nullopt;
        }
        if (n == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    err = "larger than " + std::to_string(kMaxRecordFileBytes) + " bytes";
    return std::nullopt;
}

// A record file of a live publisher, or null with err.
std::optional<RecordFile> readRecord(int dirFd, const std::string &fileName, std::string &err)
{
    const auto text = readBounded(dirFd, fileName, err);
    if (!text)
        return std::nullopt;
    auto file = parseRecordFile(*text, err);
    if (!file)
        return std::nullopt;
    if (recordFileName(file->record.name) != fileName) {
        err = "the name inside, \"" + file->record.name + "\", belongs in " + recordFileName(file->record.name);
        return std::nullopt;
    }
    return file;
}

bool writeAll(int fd, const std::string &text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class DirectoryPublication : public Publication {
public:
    DirectoryPublication(std::string directory, std::string fileName, std::string content)
        : directory_(std::move(directory))
        , fileName_(std::move(fileName))
        , content_(std::move(content))
    { }
    ~DirectoryPublication() override
    {
        // Only our own record: a later publisher may have replaced it.
        UniqueFd dir(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        std::string err;
        if (dir && readBounded(dir.get(), fileName_, err) == content_)
            ::unlinkat(dir.get(), fileName_.c_str(), 0);
    }

private:
    std::string directory_, fileName_, content_;
};

// The browsing thread's state; the thread shares its ownership, so that a
// Browsing destroyed from inside a handler can leave the thread to finish.
struct DirectoryWatch {
    std::string directory;
    BrowseHandlers handlers;
    UniqueFd inotify, wake;
    int watch = -1;
    std::atomic<bool> stopped{false};
    std::map<std::string, ServiceRecord> known;      // by publish name
    std::map<std::string, std::string> complaints;   // file name -> what was logged for it

    void addWatch()
    {
        watch = ::inotify_add_watch(inotify.get(), directory.c_str(),
                                    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    }

    void complain(const std::string &fileName, const std::string &why)
    {
        auto &last = complaints[fileName];
        if (last != why)
            std::fprintf(stderr, "tindrel22: discovery: ignoring %s/%s: %s\n", directory.c_str(), fileName.c_str(),
                         why.c_str());
        last = why;
    }

    std::map<std::string, ServiceRecord> scan()
    {
        std::map<std::string, ServiceRecord> current;
        std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(directory.c_str()), ::closedir);
        if (!dir) {
            complain(".", errnoText("cannot list the directory"));
            return current;
        }
        std::map<std::string, std::string> stillWrong;
        while (const dirent *entry = ::readdir(dir.get())) {
            const std::string fileName = entry->d_name;
            // Hidden files are publishers' files being written.
            if (fileName.starts_with('.') || !fileName.ends_with(kRecordFileSuffix))
                continue;
            std::string err;
            const auto file = readRecord(::dirfd(dir.get()), fileName, err);
            if (!file && !err.empty()) {
                complain(fileName, err);
                stillWrong[fileName] = complaints[fileName];
            } else if (file && processAlive(file->pid)) {
                current.emplace(file->record.name, file->record);
            }
        }
        complaints = std::move(stillWrong);
        return current;
    }

    void rescan()
    {
        if (watch < 0)
            addWatch();   // the directory was missing, or made anew
        auto current = scan();
        for (const auto &[name, record] : known)
            if (!current.contains(name) && !stopped && handlers.lost)
                handlers.lost(name);
        for (const auto &[name, record] : current) {
            const auto old = known.find(name);
            if ((old == known.end() || old->second != record) && !stopped && handlers.found)
                handlers.found(record);
        }
        known = std::move(current);
    }

    // True when the directory changed.
    bool drainEvents()
    {
        alignas(inotify_event) char buffer[4096];
        bool changed = false;
        for (;;) {
            const ssize_t n = ::read(inotify.get(), buffer, sizeof buffer);
            if (n <= 0)
                return changed;
            changed = true;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->mask & IN_IGNORED)
                    watch = -1;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    void run()
    {
        rescan();
        while (!stopped) {
            pollfd fds[2] = {{inotify.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, kRescanMs);
            if (stopped)
                break;
            if (ready < 0 && errno != EINTR) {
                std::fprintf(stderr, "tindrel22: discovery: %s\n", errnoText("cannot wait for changes").c_str());
                break;
            }
            drainEvents();
            rescan();
        }
    }
};

class DirectoryBrowsing : public Browsing {
public:
    explicit DirectoryBrowsing(std::shared_ptr<DirectoryWatch> watch)
        : watch_(std::move(watch))
        , thread_([watch = watch_] { watch->run(); })
    { }
    ~DirectoryBrowsing() override
    {
        watch_->stopped = true;
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();   // inside a handler: the thread ends when it returns
            return;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(watch_->wake.get(), &one, sizeof one);
        thread_.join();
    }

private:
    std::shared_ptr<DirectoryWatch> watch_;
    std::thread thread_;
};

class DirectoryDiscovery : public Discovery {
public:
    explicit DirectoryDiscovery(std::string directory)
        : directory_(std::move(directory))
    {
        makeDirectory();
    }

    std::unique_ptr<Publication> publish(const ServiceRecord &record, std::string &err) override
    {
        if (const std::string problem = recordProblem(record); !problem.empty()) {
            err = "cannot publish \"" + record.name + "\": " + problem;
            return nullptr;
        }
        RecordFile file{record, static_cast<long>(::getpid())};
        if (file.record.host.empty()) {
            char host[256] = {};
            ::gethostname(host, sizeof host - 1);
            file.record.host = host;
        }
        if (file.record.address.empty())
            file.record.address = "127.0.0.1";
        const std::string content = formatRecordFile(file);
        const std::string fileName = recordFileName(record.name);
        const auto fail = [&](const std::string &why) {
            err = "cannot publish \"" + record.name + "\" in " + directory_ + ": " + why;
            return nullptr;
        };

        makeDirectory();
        UniqueFd dir(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir)
            return fail(errnoText("cannot open the directory"));
        static std::atomic<unsigned> counter{0};
        const std::string temp = "." + fileName + "." + std::to_string(file.pid) + "." + std::to_string(counter++);
        {
            UniqueFd out(::openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!out)
                return fail(errnoText("cannot write " + temp));
            if (!writeAll(out.get(), content) || !out.close()) {
                const std::string why = errnoText("cannot write " + temp);
                ::unlinkat(dir.get(), temp.c_str(), 0);
                return fail(why);
            }
        }
        // link() claims the name only when nobody holds it; a record of a
        // dead publisher, or a broken one, is replaced.
        if (::linkat(dir.get(), temp.c_str(), dir.get(), fileName.c_str(), 0) == 0) {
            ::unlinkat(dir.get(), temp.c_str(), 0);
        } else {
            const int linkErr = errno;
            std::string readErr;
            const auto held = readRecord(dir.get(), fileName, readErr);
            if (linkErr == EEXIST && held && processAlive(held->pid)) {
                ::unlinkat(dir.get(), temp.c_str(), 0);
                return fail("the name is already published by process " + std::to_string(held->pid));
            }
            if (::renameat(dir.get(), temp.c_str(), dir.get(), fileName.c_str()) != 0) {
                const std::string why = errnoText("cannot rename " + temp);
                ::unlinkat(dir.get(), temp.c_str(), 0);
                return fail(why);
            }
        }
        return std::make_unique<DirectoryPublication>(directory_, fileName, content);
    }

    std::unique_ptr<Browsing> browse(BrowseHandlers handlers, std::string &err) override
    {
        auto watch = std::make_shared<DirectoryWatch>();
        watch->directory = directory_;
        watch->handlers = std::move(handlers);
        watch->inotify = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        watch->wake = UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!watch->inotify || !watch->wake) {
            err = errnoText("cannot watch " + directory_);
            return nullptr;
        }
        makeDirectory();
        watch->addWatch();
        if (watch->watch < 0) {
            err = errnoText("cannot watch " + directory_);
            return nullptr;
        }
        return std::make_unique<DirectoryBrowsing>(std::move(watch));
    }

    std::string describe() const override { return "directory " + directory_; }

private:
    void makeDirectory() const
    {
        std::error_code ec;
        std::filesystem::create_directories(directory_, ec);
    }

    std::string directory_;
};

}   // namespace

std::unique_ptr<Discovery> makeDirectoryDiscovery(const std::string &directory)
{
    return std::make_unique<DirectoryDiscovery>(directory);
}

}   // namespace tsim::remote
