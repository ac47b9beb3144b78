#include "FakeServices.h"

#include <algorithm>
#include <cstdio>

namespace tindrel::platform::fakes {

FakeInput::FakeInput(std::vector<std::byte> bytes, std::size_t pieceSize, bool interruptEachPiece, bool endWithError)
    : bytes_(std::move(bytes))
    , pieceSize_(std::max<std::size_t>(pieceSize, 1))
    , interrupt_(interruptEachPiece)
    , endWithError_(endWithError)
{ }

ByteSource::Result FakeInput::read(std::span<std::byte> buffer)
{
    ++reads;
    if (position_ == bytes_.size())
        return {endWithError_ ? Status::Error : Status::End, 0};
    if (interrupt_ && !interruptedLast_) {
        interruptedLast_ = true;
        return {Status::Interrupted, 0};
    }
    interruptedLast_ = false;
    const std::size_t n = std::min({buffer.size(), pieceSize_, bytes_.size() - position_});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.begin());
    position_ += n;
    return {Status::Data, n};
}

bool FakeAuthority::acceptExternalForm(const ExternalForm &form, const ProcessSubject &caller)
{
    forms.push_back(form);
    callers.push_back(caller);
    return acceptForm;
}

bool FakeAuthority::checkRight(std::string_view right, const ProcessSubject &caller)
{
    asked.emplace_back(right);
    callers.push_back(caller);
    const auto it = granted.find(right);
    const bool yes = it != granted.end();
    if (yes && it->second == Proof::Administrator)
        administratorAuthorized = true;
    if (afterAnswer)
        afterAnswer();
    return yes;
}

namespace {

class FakeChild : public PrivilegedChild {
public:
    explicit FakeChild(FakePrivilegedExecution &owner)
        : owner_(owner)
    { }
    bool write(std::span<const std::byte> bytes) override
    {
        owner_.writeSizes.push_back(bytes.size());
        if (owner_.received.size() + bytes.size() > owner_.acceptLimit)
            return false;
        owner_.received.insert(owner_.received.end(), bytes.begin(), bytes.end());
        return true;
    }
    void closeInput() override { owner_.inputClosed = true; }
    ChildExit wait() override { return owner_.exit; }

private:
    FakePrivilegedExecution &owner_;
};

}   // namespace

std::unique_ptr<PrivilegedChild> FakePrivilegedExecution::start(const std::string &prog, const std::string &arg)
{
    ++starts;
    program = prog;
    argument = arg;
    if (!canStart)
        return nullptr;
    return std::make_unique<FakeChild>(*this);
}

class FakeLockedFile : public LockedFile {
public:
    FakeLockedFile(FakeFiles &files, std::string path)
        : files_(files)
        , path_(std::move(path))
    { }
    std::optional<FileStatus> status() override
    {
        const auto *node = files_.find(path_);
        if (!node)
            return std::nullopt;
        return FileStatus{node->identity, node->owner, node->group, node->mode};
    }
    bool changeOwner(uid_t owner, gid_t group) override
    {
        files_.calls.push_back("fchown " + path_ + " " + std::to_string(owner) + ":" + std::to_string(group));
        if (files_.failChown)
            return false;
        auto &node = files_.nodes.at(path_);
        node.owner = owner;
        node.group = group;
        node.mode &= ~mode_t{06000};   // as the kernel does on a change of owner
        return true;
    }
    bool changeMode(mode_t mode) override
    {
        char text[16];
        std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(mode));
        files_.calls.push_back("fchmod " + path_ + " " + text);
        if (files_.failChmod)
            return false;
        files_.nodes.at(path_).mode = mode;
        return true;
    }

private:
    FakeFiles &files_;
    std::string path_;
};

FakeFiles::FakeFiles() { addDirectory("/"); }

void FakeFiles::addDirectory(const std::string &path, mode_t mode)
{
    Node node;
    node.directory = true;
    node.mode = mode;
    nodes[path] = node;
}

void FakeFiles::addFile(const std::string &path, std::string content, mode_t mode, uid_t owner, gid_t group)
{
    Node node;
    node.content = std::move(content);
    node.mode = mode;
    node.owner = owner;
    node.group = group;
    nodes[path] = node;
}

void FakeFiles::addSymlink(const std::string &path)
{
    Node node;
    node.symlink = true;
    nodes[path] = node;
}

const FakeFiles::Node *FakeFiles::find(std::string_view path) const
{
    const auto it = nodes.find(path);
    return it == nodes.end() ? nullptr : &it->second;
}

bool FakeFiles::parentExists(std::string_view path) const
{
    const auto slash = path.rfind('/');
    const std::string_view parent = slash == 0 || slash == std::string_view::npos ? "/" : path.substr(0, slash);
    const auto *node = find(parent);
    return node && node->directory;
}

Files::DirectoryResult FakeFiles::makeDirectory(const std::string &path, mode_t mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(mode));
    calls.push_back("mkdir " + path + " " + text);
    if (find(path))
        return DirectoryResult::Existed;
    if (!parentExists(path))
        return DirectoryResult::Failed;
    addDirectory(path, mode);
    nodes[path].owner = 4242;   // creator's real user until changed
    nodes[path].group = 4242;
    return DirectoryResult::Created;
}

bool FakeFiles::changeOwner(const std::string &path, uid_t owner, gid_t group)
{
    calls.push_back("chown " + path + " " + std::to_string(owner) + ":" + std::to_string(group));
    auto it = nodes.find(path);
    if (failChown || it == nodes.end())
        return false;
    it->second.owner = owner;
    it->second.group = group;
    return true;
}

int FakeFiles::replaceFile(const std::string &path, std::string_view content)
{
    calls.push_back("replace " + path);
    if (replaceError)
        return replaceError;
    if (!parentExists(path))
        return ENOENT;
    auto it = nodes.find(path);
    if (it != nodes.end()) {
        if (it->second.symlink)
            return ELOOP;
        if (it->second.directory)
            return EISDIR;
        it->second.content = std::string(content);
        return 0;
    }
    addFile(path, std::string(content));
    return 0;
}

int FakeFiles::removeFile(const std::string &path)
{
    calls.push_back("unlink " + path);
    auto it = nodes.find(path);
    if (it == nodes.end())
        return ENOENT;
    if (it->second.directory)
        return EISDIR;
    nodes.erase(it);
    return 0;
}

std::unique_ptr<LockedFile> FakeFiles::openLocked(const std::string &path)
{
    calls.push_back("open-locked " + path);
    if (lockFails || !find(path))
        return nullptr;
    return std::make_unique<FakeLockedFile>(*this, path);
}

}   // namespace tindrel::platform::fakes
