// In-memory stand-ins for the operating-system services, for tests. Each
// records what it was asked so tests can check the calls that were made.
#pragma once

#include "SystemServices.h"

#include <cerrno>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tindrel::platform::fakes {

// Delivers the given bytes in pieces of at most `pieceSize`, optionally
// reporting an interruption before every piece, then End (or Error).
class FakeInput : public ByteSource {
public:
    explicit FakeInput(std::vector<std::byte> bytes = {}, std::size_t pieceSize = SIZE_MAX,
                       bool interruptEachPiece = false, bool endWithError = false);
    Result read(std::span<std::byte> buffer) override;
    std::size_t consumed() const { return position_; }
    std::size_t reads = 0;

private:
    std::vector<std::byte> bytes_;
    std::size_t pieceSize_;
    bool interrupt_;
    bool endWithError_;
    bool interruptedLast_ = false;
    std::size_t position_ = 0;
};

class FakeSelf : public SelfLocator {
public:
    std::optional<std::string> path = std::string("/opt/tindrel/raiseTool");
    std::optional<FileIdentity> image = FileIdentity{1, 42};
    std::optional<std::string> ownPath() override { return path; }
    std::optional<FileIdentity> runningImage() override { return image; }
};

// Grants rights as an authority would after a dialog: each granted right
// notes who proved it, an administrator or the caller with its own password.
class FakeAuthority : public Authority {
public:
    enum class Proof { Administrator, OwnPassword };
    bool acceptForm = true;
    bool privilegedHandover = true;
    std::map<std::string, Proof, std::less<>> granted;
    std::vector<std::string> asked;
    std::vector<ExternalForm> forms;
    std::vector<ProcessSubject> callers;   // subject of every form and right check
    // Set once a right was granted on an administrator's authentication.
    bool administratorAuthorized = false;
    // Runs after every answer (tests use it to change the parent).
    std::function<void()> afterAnswer;

    void grant(std::string right, Proof proof = Proof::Administrator) { granted[std::move(right)] = proof; }
    bool acceptExternalForm(const ExternalForm &form, const ProcessSubject &caller) override;
    bool takeOverPrivileged() override { return privilegedHandover; }
    bool checkRight(std::string_view right, const ProcessSubject &caller) override;
};

class FakePrivilegedExecution : public PrivilegedExecution {
public:
    bool canStart = true;
    ChildExit exit{true, true, 0};
    // Bytes after which the child stops accepting input (SIZE_MAX: never).
    std::size_t acceptLimit = SIZE_MAX;
    std::string program;
    std::string argument;
    std::vector<std::byte> received;
    std::vector<std::size_t> writeSizes;
    bool inputClosed = false;
    int starts = 0;
    std::unique_ptr<PrivilegedChild> start(const std::string &program, const std::string &argument) override;
};

class FakeLockedFile;

class FakeFiles : public Files {
public:
    struct Node {
        bool directory = false;
        bool symlink = false;
        std::string content;
        mode_t mode = 0644;
        uid_t owner = 0;
        gid_t group = 0;
        FileIdentity identity{1, 42};
    };
    std::map<std::string, Node, std::less<>> nodes;   // "/" always exists
    int replaceError = 0;                             // errno to fail replaceFile with
    bool failChown = false;
    bool failChmod = false;
    bool lockFails = false;
    std::vector<std::string> calls;   // "mkdir /a 755", "chown /a 0:0", ...

    FakeFiles();
    void addDirectory(const std::string &path, mode_t mode = 0755);
    void addFile(const std::string &path, std::string content, mode_t mode = 0644, uid_t owner = 0, gid_t group = 0);
    void addSymlink(const std::string &path);
    const Node *find(std::string_view path) const;

    DirectoryResult makeDirectory(const std::string &path, mode_t mode) override;
    bool changeOwner(const std::string &path, uid_t owner, gid_t group) override;
    int replaceFile(const std::string &path, std::string_view content) override;
    int removeFile(const std::string &path) override;
    std::unique_ptr<LockedFile> openLocked(const std::string &path) override;

private:
    friend class FakeLockedFile;
    bool parentExists(std::string_view path) const;
};

class FakeServiceManager : public ServiceManager {
public:
    bool canRun = true;
    std::vector<std::pair<std::string, std::string>> runs;   // (verb, target)
    bool run(std::string_view verb, std::string_view target) override
    {
        runs.emplace_back(verb, target);
        return canRun;
    }
};

class FakeDriver : public DriverLoader {
public:
    Result result = Result::Loaded;
    int loads = 0;
    Result load() override
    {
        ++loads;
        return result;
    }
};

class FakeLog : public SystemLog {
public:
    std::vector<std::string> lines;
    void error(std::string_view message) override { lines.emplace_back(message); }
};

class FakeIdentity : public ProcessIdentity {
public:
    bool root = true;
    uid_t real = 1000;
    // Parent reported by successive calls; the last one repeats.
    std::deque<pid_t> parents{4000};
    std::map<pid_t, std::uint64_t> startTimes{{4000, 777}};
    int parentReads = 0;
    bool effectiveUserIsRoot() override { return root; }
    uid_t effectiveUser() override { return root ? 0 : 1000; }
    uid_t realUser() override { return real; }
    pid_t parentProcess() override
    {
        ++parentReads;
        const pid_t parent = parents.front();
        if (parents.size() > 1)
            parents.pop_front();
        return parent;
    }
    std::optional<std::uint64_t> startTime(pid_t pid) override
    {
        const auto it = startTimes.find(pid);
        return it == startTimes.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    }
};

}   // namespace tindrel::platform::fakes
