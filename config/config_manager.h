#pragma once

#include <mutex>
#include <string>

#include "config/velmora.hxx"
#include "utils/vl_singleton.h"

// Owner of the user's settings ("velmora.xml" beside the executable) and of the small remote
// configuration the back-end supplies. It is the settings document itself: windows read and
// change user() and conf() on the UI thread and call Flush to save.
class ConfigManager : public Velmora, public vl::Singleton<ConfigManager> {
public:
    static constexpr const char* kFileName = "velmora.xml";
    static constexpr const char* kBadSuffix = ".bad";
    // Unreadable files are kept as velmora.xml.bad, velmora.xml.bad.1 … velmora.xml.bad.9.
    static constexpr int kMaxBackups = 10;

    // Settings beside the executable.
    ConfigManager();
    // Settings in another folder (tests, tools).
    explicit ConfigManager(std::string settingsDir);

    // Loads the settings file, creating it with the defaults when it is missing. A file that
    // cannot be read is kept under the first free backup name ("velmora.xml.bad", then
    // "velmora.xml.bad.1", …) and replaced by the defaults. A symbolic link is followed: its
    // target is read, kept and replaced, and the link stays. Fetches the
    // remote configuration once after a successful load. False when no usable file could be had.
    bool Init();

    // Saves the document. Refused until Init has loaded or created the file, so a start-up that
    // stopped early never writes defaults over the user's settings. A failed save leaves the old
    // file as it was.
    bool Flush();

    // The OCR engine for the text direction last saved (Flush) or loaded: the vertical engine
    // when conf().engine() was exactly "vertical", the precise (horizontal) one otherwise. Safe
    // to call from the translator's task thread, which never reads the document itself.
    std::string GetOcrEngine();

    // Which OCR runs, as last published: the settings' choice ("auto", "online" or "local";
    // "auto" for an absent or unknown value), the remote configuration's engine for the
    // direction, and the direction itself. Safe from the task thread.
    static constexpr const char* kOcrAuto = "auto";
    static constexpr const char* kOcrOnline = "online";
    static constexpr const char* kOcrLocal = "local";
    struct OcrSetup {
        std::string choice;
        std::string engine;
        bool vertical = false;
    };
    OcrSetup GetOcrSetup();
    // Hands conf().engine() and conf().ocr() to GetOcrEngine and GetOcrSetup (on the UI thread;
    // Flush and Init do it too). For a direction or choice changed without saving it.
    void PublishDirection();

    // Applies a "/config/get" answer. Public so tools and tests can apply an answer directly.
    void ParseConfig(const std::string& response);

    std::string CustomerServiceQq();
    const std::string& SettingsPath() const { return path_; }

private:
    void GetConfig();
    bool Save();
    bool KeepUnreadableFile();

    std::string path_;
    bool loaded_ = false;  // UI thread only

    std::recursive_mutex mutex_;  // guards the remote values below
    std::string direction_;       // conf().engine() as last published
    std::string ocrChoice_ = kOcrAuto;
    std::string customerServiceQq_ = "800800800";
    std::string preciseOcrEngine_ = "baidu";
    std::string verticalOcrEngine_ = "youdao";
};
