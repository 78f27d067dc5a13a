#include "model/FileMetadata.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include <sys/acl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

struct TAclFree {
    void operator()(void* acl) const { acl_free(acl); }
};

// Always set, also when the old file has no entries beyond its mode: the new file may have
// taken entries from the folder's default ACL, and those must not stay.
bool CopyAccessAcl(const std::string& path, int fd) {
    const std::unique_ptr<std::remove_pointer_t<acl_t>, TAclFree> acl(
        acl_get_file(path.c_str(), ACL_TYPE_ACCESS));
    if (!acl) // a file system without ACLs: the mode is all there is
        return Unsupported(errno);
    return acl_set_fd(fd, acl.get()) == 0;
}

// Reads a list or a value whose size may change between asking for it and reading it.
template <class F> bool ReadSized(std::vector<char>& buffer, F&& read) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t n = read(nullptr, 0);
        if (n < 0)
            return false;
        buffer.resize(static_cast<std::size_t>(n));
        if (n == 0)
            return true;
        n = read(buffer.data(), buffer.size());
        if (n >= 0) {
            buffer.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    errno = ERANGE;
    return false;
}

bool CopyExtendedAttributes(const std::string& path, int fd) {
    std::vector<char> names;
    if (!ReadSized(names, [&](char* into, std::size_t size) {
            return ::listxattr(path.c_str(), into, size);
        }))
        return Unsupported(errno);
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const char* const name = names.data() + at;
        at += std::strlen(name) + 1;
        if (std::string_view(name).starts_with("system.posix_acl_"))
            continue; // copied as the ACL it is
        if (!ReadSized(value, [&](char* into, std::size_t size) {
                return ::getxattr(path.c_str(), name, into, size);
            })) {
            if (errno == ENODATA) // removed meanwhile
                continue;
            return false;
        }
        if (::fsetxattr(fd, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

} // namespace

bool CopyFileMetadata(const std::string& Path, const struct stat& Old, int Fd) {
    struct stat now {};
    if (::fstat(Fd, &now) != 0)
        return false;
    // Only root may give a file away; anyone else keeps owner and group only when they are
    // already the new file's.
    if ((now.st_uid != Old.st_uid || now.st_gid != Old.st_gid) &&
        ::fchown(Fd, Old.st_uid, Old.st_gid) != 0)
        return false;
    if (::fchmod(Fd, Old.st_mode & 07777) != 0)
        return false;
    return CopyAccessAcl(Path, Fd) && CopyExtendedAttributes(Path, Fd);
}
