#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logic/translate_types.h"

struct sqlite3;

// Translations already made: (engine, source language, target language, source line) ->
// translation, in an SQLite file. At most `capacity` entries; the least recently used go first.
// Opened on first use; a file that cannot be opened is logged and the memory answers nothing (a
// run then translates as without it). Safe from any thread.
class TranslationMemory {
public:
    static constexpr std::size_t kCapacity = 100000;

    explicit TranslationMemory(std::string path, std::size_t capacity = kCapacity);
    ~TranslationMemory();
    TranslationMemory(const TranslationMemory&) = delete;
    TranslationMemory& operator=(const TranslationMemory&) = delete;

    struct Key {
        std::string engine;
        LanguageId src = 0;
        LanguageId dst = 0;
    };
    // One answer per text, in order: the known translation or nothing. Hits count as a use.
    std::vector<std::optional<std::string>> Lookup(const Key& key,
                                                   const std::vector<std::string>& texts);
    // Stores (text, translation) pairs as the most recently used.
    void Store(const Key& key, const std::vector<std::pair<std::string, std::string>>& entries);
    bool Clear(std::string& error);
    std::size_t Size();

    // The process's memory in the user's cache folder.
    static TranslationMemory& Process();
    static std::string DefaultPath();

private:
    bool Open();  // under mutex_
    bool Exec(const char* sql);
    void Close();

    const std::string path_;
    const std::size_t capacity_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    bool failed_ = false;     // opening failed once: not tried again
    std::int64_t clock_ = 0;  // the last use stamp handed out
    std::size_t count_ = 0;
};
