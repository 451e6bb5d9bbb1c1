#pragma once

#include <string>

// How the program decides where its files go (the folder functions are declared in vl_env.h).
namespace vl {

// What the decision depends on: the executable's folder and the user's environment.
struct FolderFacts {
    std::string exeDir;
    bool exeDirWritable = false;
    // bin/ of an installation: no resource folder beside it, share/velmora/ beside bin/
    bool installed = false;
    std::string home;       // $HOME
    std::string xdgConfig;  // $XDG_CONFIG_HOME, $XDG_STATE_HOME, $XDG_CACHE_HOME as set
    std::string xdgState;
    std::string xdgCache;
};

struct UserFolders {
    std::string config;  // settings, services file
    std::string log;
    std::string cache;
};

// The one decision. Beside the executable when it is a portable copy (not installed, folder
// writable); otherwise the XDG folders, where a variable that is unset or not an absolute path
// stands for its default under $HOME (~/.config, ~/.local/state, ~/.cache). Without a home the
// folders go under `privateTmp`; all empty when that is empty too.
UserFolders DecideFolders(const FolderFacts& facts, const std::string& privateTmp);

// The facts of this process.
FolderFacts CurrentFolderFacts();

// /tmp/velmora-<uid>, created private to this user, or empty when it exists and is not (nobody
// else may be able to plant files or links there).
std::string PrivateTmpFolder();

// Creates `path` and its missing parents with `mode`; true when it is a folder afterwards.
bool MakeFolders(const std::string& path, unsigned mode);

}  // namespace vl
