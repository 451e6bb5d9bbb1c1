#include "utils/vl_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vl {

namespace {

std::string Describe(const char* what, const std::string& path, int err) {
    return std::string(what) + " \"" + path + "\" failed, " + std::strerror(err);
}

// The folder part of `path` for fsync after a rename; "." for a bare file name.
std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) {
            return ReadFileResult::Missing;
        }
        error = Describe("open", path, err);
        return ReadFileResult::Failed;
    }
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = Describe("read", path, errno);
            ::close(fd);
            return ReadFileResult::Failed;
        }
        break;
    }
    ::close(fd);
    bytes = std::move(out);
    return ReadFileResult::Ok;
}

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            return current;  // not a link (or unreadable): this is the file
        }
        target.resize(static_cast<std::size_t>(n));
        if (target.empty()) {
            return current;
        }
        if (target.front() != '/' && current.find('/') != std::string::npos) {
            target = Folder(current) + "/" + target;
        }
        current = target;
    }
    return current;
}

bool WriteFileAtomically(const std::string& requested, const std::string& bytes, std::string& error,
                         LinkPolicy links, unsigned mode) {
    const std::string path =
        links == LinkPolicy::WriteThrough ? ResolveLinks(requested) : requested;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error = "folder \"" + Folder(path) + "\" takes no new file (" + std::strerror(err) +
                "), \"" + path + "\" is left as it was";
        return false;
    }
    auto fail = [&](const char* what, int err) {
        error = Describe(what, temp, err);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    // mkstemp makes the file private; keep the mode of the file being replaced instead.
    struct stat old {};
    mode_t newMode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (mode != kKeepMode) {
        newMode = static_cast<mode_t>(mode & 07777);
    }
    if (::fchmod(fd, newMode) != 0) {
        return fail("chmod", errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail("write", n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return fail("fsync", errno);
    }
    if (::close(fd) != 0) {
        error = Describe("close", temp, errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = Describe("rename", temp, errno) + " (to \"" + path + "\")";
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here leaves a correct file in place.
    const int dir = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace vl
