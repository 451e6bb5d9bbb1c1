#include "utils/vl_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace vl {

namespace {

constexpr const char* kAppFolder = "velmora";

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

// An XDG variable counts only as an absolute path.
std::string XdgBase(const std::string& value, const std::string& home, const char* fallback,
                    const std::string& privateTmp, const char* tmpName) {
    if (!value.empty() && value.front() == '/')
        return value;
    if (!home.empty() && home.front() == '/')
        return home + "/" + fallback;
    if (privateTmp.empty())
        return {};
    return privateTmp + "/" + tmpName;
}

// Reports to standard error: the log folder is decided before logging exists.
std::u16string Ensure(const std::string& path, unsigned mode) {
    if (path.empty())
        return {};
    if (!MakeFolders(path, mode)) {
        std::fprintf(stderr, "CreateDirectory(%s, NULL) failed, last error %d\n", path.c_str(),
                     errno);
        return {};
    }
    return ToWString(path);
}

bool Portable(const FolderFacts& f) {
    return !f.installed && f.exeDirWritable && !f.exeDir.empty();
}

UserFolders Current() {
    const FolderFacts facts = CurrentFolderFacts();
    const bool needTmp = !Portable(facts) && (facts.home.empty() || facts.home.front() != '/');
    return DecideFolders(facts, needTmp ? PrivateTmpFolder() : std::string());
}

}  // namespace

UserFolders DecideFolders(const FolderFacts& f, const std::string& privateTmp) {
    if (Portable(f))
        return {f.exeDir, f.exeDir + "/log", f.exeDir + "/cache"};
    UserFolders out;
    const std::string config = XdgBase(f.xdgConfig, f.home, ".config", privateTmp, "config");
    const std::string state = XdgBase(f.xdgState, f.home, ".local/state", privateTmp, "state");
    const std::string cache = XdgBase(f.xdgCache, f.home, ".cache", privateTmp, "cache");
    if (!config.empty())
        out.config = config + "/" + kAppFolder;
    if (!state.empty())
        out.log = state + "/" + kAppFolder + "/log";
    if (!cache.empty())
        out.cache = cache + "/" + kAppFolder;
    return out;
}

FolderFacts CurrentFolderFacts() {
    FolderFacts f;
    f.exeDir = ToString(ExeDir());
    if (!f.exeDir.empty()) {
        f.exeDirWritable = ::access(f.exeDir.c_str(), W_OK) == 0;
        f.installed =
            !IsFolder(f.exeDir + "/resource") && IsFolder(f.exeDir + "/../share/" + kAppFolder);
    }
    f.home = Env("HOME");
    f.xdgConfig = Env("XDG_CONFIG_HOME");
    f.xdgState = Env("XDG_STATE_HOME");
    f.xdgCache = Env("XDG_CACHE_HOME");
    return f;
}

std::string PrivateTmpFolder() {
    const std::string dir = "/tmp/velmora-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        VL_ERROR("create \"{}\" failed, {}", dir, std::strerror(errno));
        return {};
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        VL_ERROR("\"{}\" is not a private folder of this user, not used", dir);
        return {};
    }
    return dir;
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(path);
}

std::u16string ConfigDir() {
    return Ensure(Current().config, 0700);
}

std::u16string LogDir() {
    return Ensure(Current().log, 0700);
}

std::u16string CacheDir() {
    return Ensure(Current().cache, 0700);
}

std::string CacheSubDir(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        VL_WARN("cache folder name \"{}\" is not a plain name", name);
        return {};
    }
    const std::string cache = ToString(CacheDir());
    if (cache.empty())
        return {};
    return ToString(Ensure(cache + "/" + name, 0700));
}

std::string ResourceDir() {
    const std::string exe = ToString(ExeDir());
    const std::string beside = exe + "/resource/";
    if (IsFolder(beside))
        return beside;
    const std::string shared = exe + "/../share/" + kAppFolder;
    if (!exe.empty() && IsFolder(shared)) {
        char resolved[PATH_MAX];
        if (::realpath(shared.c_str(), resolved) != nullptr)
            return std::string(resolved) + "/";
    }
    return beside;  // where the errors will name it
}

std::string RuntimeDir() {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime.front() == '/' && IsFolder(runtime)) {
        const std::string dir = runtime + "/" + kAppFolder;
        if (MakeFolders(dir, 0700))
            return dir;
        VL_WARN("create \"{}\" failed, {}", dir, std::strerror(errno));
    }
    return PrivateTmpFolder();
}

}  // namespace vl
