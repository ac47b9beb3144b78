// Directory reading and string helpers over the real file system.

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "tindrel22extra.h"

namespace {

TindrelReturnCode codeForErrno(int error)
{
    switch (error) {
    case ENOENT:
        return TINDREL_ENOENT;
    case ENOTDIR:
        return TINDREL_ENOTDIR;
    case EACCES:
    case EPERM:
        return TINDREL_EACCESS;
    case ENOMEM:
        return TINDREL_ENOMEMORY;
    default:
        return TINDREL_EIO;
    }
}

// Whether the entry is a directory; symbolic links count as what they point to.
bool entryIsDirectory(DIR *stream, const dirent *entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return false;
    struct stat info { };
    if (fstatat(dirfd(stream), entry->d_name, &info, 0) != 0)
        return false;
    return S_ISDIR(info.st_mode);
}

}   // namespace

extern "C" {

int mos_opendir(void * /*iop*/, const char *path, mosdir_t **dir)
{
    if (path == nullptr || dir == nullptr)
        return TINDREL_EFAULT;
    DIR *stream = opendir(path);
    if (stream == nullptr)
        return codeForErrno(errno);
    auto *created = new (std::nothrow) mosdir_t{};
    if (created == nullptr) {
        closedir(stream);
        return TINDREL_ENOMEMORY;
    }
    created->priv = stream;
    *dir = created;
    return TINDREL_OK;
}

int mos_readdir(void * /*iop*/, mosdir_t *dir)
{
    if (dir == nullptr || dir->priv == nullptr)
        return TINDREL_EFAULT;
    auto *stream = static_cast<DIR *>(dir->priv);
    while (true) {
        errno = 0;
        const dirent *entry = readdir(stream);
        if (entry == nullptr) {
            if (errno != 0)
                return codeForErrno(errno);
            dir->eof = 1;
            dir->isdir = 0;
            dir->name[0] = '\0';
            return TINDREL_OK;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const size_t length = std::strlen(entry->d_name);
        if (length >= sizeof dir->name)
            continue;   // cannot be named through this reader; no file system here makes one
        std::memcpy(dir->name, entry->d_name, length + 1);
        dir->isdir = entryIsDirectory(stream, entry) ? 1 : 0;
        dir->eof = 0;
        return TINDREL_OK;
    }
}

void mos_closedir(mosdir_t **dir)
{
    if (dir == nullptr || *dir == nullptr)
        return;
    if ((*dir)->priv != nullptr)
        closedir(static_cast<DIR *>((*dir)->priv));
    delete *dir;
    *dir = nullptr;
}

int mos_endswith(const char *str, const char *suffix)
{
    if (str == nullptr || suffix == nullptr)
        return 0;
    const size_t length = std::strlen(str);
    const size_t suffixLength = std::strlen(suffix);
    return suffixLength <= length && std::memcmp(str + length - suffixLength, suffix, suffixLength) == 0;
}

}   // extern "C"
