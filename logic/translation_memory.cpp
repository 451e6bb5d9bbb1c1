#include "logic/translation_memory.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "utils/vl_env.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// A prepared statement released with its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            VL_ERROR("sqlite3_prepare_v2 failed, {}", sqlite3_errmsg(db));
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    void BindKey(const TranslationMemory::Key& key) {
        sqlite3_bind_text(stmt_, 1, key.engine.data(), static_cast<int>(key.engine.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt_, 2, key.src);
        sqlite3_bind_int64(stmt_, 3, key.dst);
    }
    void BindText(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS memory("
    " engine TEXT NOT NULL, src INTEGER NOT NULL, dst INTEGER NOT NULL, source TEXT NOT NULL,"
    " translation TEXT NOT NULL, used INTEGER NOT NULL,"
    " PRIMARY KEY(engine, src, dst, source)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS memory_used ON memory(used);";

}  // namespace

TranslationMemory::TranslationMemory(std::string path, std::size_t capacity)
    : path_(std::move(path)), capacity_(capacity == 0 ? 1 : capacity) {}

TranslationMemory::~TranslationMemory() {
    std::lock_guard lock(mutex_);
    Close();
}

void TranslationMemory::Close() {
    if (db_ != nullptr) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

bool TranslationMemory::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        VL_ERROR("translation memory: \"{}\" failed, {}", sql, message ? message : "");
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool TranslationMemory::Open() {
    if (db_ != nullptr) {
        return true;
    }
    if (failed_) {
        return false;
    }
    if (path_.empty()) {
        VL_ERROR("translation memory has no folder, translating without it");
        failed_ = true;
        return false;
    }
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path_).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ec);
    }
    // What the user translated stays the user's: the file is created private (SQLite gives its
    // journal files the same mode).
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    const int rc =
        sqlite3_open_v2(path_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        VL_ERROR("open translation memory \"{}\" failed, {}", path_,
                 db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
        Close();
        failed_ = true;
        return false;
    }
    sqlite3_busy_timeout(db_, 1000);
    bool ok =
        Exec("PRAGMA journal_mode=WAL;") && Exec("PRAGMA synchronous=NORMAL;") && Exec(kSchema);
    if (ok) {
        Statement stats(db_, "SELECT COUNT(*), COALESCE(MAX(used), 0) FROM memory");
        ok = stats && sqlite3_step(stats.get()) == SQLITE_ROW;
        if (ok) {
            count_ = static_cast<std::size_t>(sqlite3_column_int64(stats.get(), 0));
            clock_ = sqlite3_column_int64(stats.get(), 1);
        }
    }
    if (!ok) {
        VL_ERROR("translation memory \"{}\" cannot be used, translating without it", path_);
        Close();
        failed_ = true;
        return false;
    }
    VL_INFO("translation memory \"{}\" opened with {} entries", path_, count_);
    return true;
}

std::vector<std::optional<std::string>> TranslationMemory::Lookup(
    const Key& key, const std::vector<std::string>& texts) {
    std::vector<std::optional<std::string>> found(texts.size());
    std::lock_guard lock(mutex_);
    if (texts.empty() || !Open()) {
        return found;
    }
    Statement select(db_,
                     "SELECT translation FROM memory WHERE engine=?1 AND src=?2 AND dst=?3 AND "
                     "source=?4");
    Statement touch(db_,
                    "UPDATE memory SET used=?5 WHERE engine=?1 AND src=?2 AND dst=?3 AND "
                    "source=?4");
    if (!select || !touch || !Exec("BEGIN")) {
        return found;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        select.Reset();
        select.BindKey(key);
        select.BindText(4, texts[i]);
        if (sqlite3_step(select.get()) != SQLITE_ROW) {
            continue;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0));
        const int size = sqlite3_column_bytes(select.get(), 0);
        found[i] = std::string(text ? text : "", static_cast<std::size_t>(size));
        touch.Reset();
        touch.BindKey(key);
        touch.BindText(4, texts[i]);
        sqlite3_bind_int64(touch.get(), 5, ++clock_);
        sqlite3_step(touch.get());
    }
    Exec("COMMIT");
    return found;
}

void TranslationMemory::Store(const Key& key,
                              const std::vector<std::pair<std::string, std::string>>& entries) {
    std::lock_guard lock(mutex_);
    if (entries.empty() || !Open()) {
        return;
    }
    Statement update(db_,
                     "UPDATE memory SET translation=?5, used=?6 WHERE engine=?1 AND src=?2 AND "
                     "dst=?3 AND source=?4");
    Statement insert(db_,
                     "INSERT INTO memory(engine, src, dst, source, translation, used) "
                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    Statement drop(db_,
                   "DELETE FROM memory WHERE used IN (SELECT used FROM memory ORDER BY used "
                   "LIMIT ?1)");
    if (!update || !insert || !drop || !Exec("BEGIN")) {
        return;
    }
    bool ok = true;
    for (const auto& [source, translation] : entries) {
        const std::int64_t stamp = ++clock_;
        update.Reset();
        update.BindKey(key);
        update.BindText(4, source);
        update.BindText(5, translation);
        sqlite3_bind_int64(update.get(), 6, stamp);
        ok = sqlite3_step(update.get()) == SQLITE_DONE;
        if (ok && sqlite3_changes(db_) == 0) {
            insert.Reset();
            insert.BindKey(key);
            insert.BindText(4, source);
            insert.BindText(5, translation);
            sqlite3_bind_int64(insert.get(), 6, stamp);
            ok = sqlite3_step(insert.get()) == SQLITE_DONE;
            count_ += ok ? 1 : 0;
        }
        if (!ok) {
            VL_ERROR("translation memory: storing failed, {}", sqlite3_errmsg(db_));
            break;
        }
    }
    if (ok && count_ > capacity_) {
        sqlite3_bind_int64(drop.get(), 1, static_cast<sqlite3_int64>(count_ - capacity_));
        ok = sqlite3_step(drop.get()) == SQLITE_DONE;
        if (ok) {
            count_ -= static_cast<std::size_t>(sqlite3_changes(db_));
        }
    }
    if (ok) {
        Exec("COMMIT");
        return;
    }
    Exec("ROLLBACK");
    Statement count(db_, "SELECT COUNT(*) FROM memory");
    if (count && sqlite3_step(count.get()) == SQLITE_ROW) {
        count_ = static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0));
    }
}

bool TranslationMemory::Clear(std::string& error) {
    std::lock_guard lock(mutex_);
    failed_ = false;  // a cleared memory may be tried afresh
    if (!Open()) {
        error = "the translation memory cannot be opened";
        return false;
    }
    if (!Exec("DELETE FROM memory")) {
        error = std::string("clearing the translation memory failed, ") + sqlite3_errmsg(db_);
        return false;
    }
    count_ = 0;
    VL_INFO("translation memory cleared");
    return true;
}

std::size_t TranslationMemory::Size() {
    std::lock_guard lock(mutex_);
    return Open() ? count_ : 0;
}

std::string TranslationMemory::DefaultPath() {
    const std::string dir = vl::ToString(vl::CacheDir());
    return dir.empty() ? std::string() : dir + "/translation-memory.sqlite3";
}

TranslationMemory& TranslationMemory::Process() {
    static TranslationMemory memory(DefaultPath());
    return memory;
}
