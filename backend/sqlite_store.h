#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backend/fifo_mutex.h"
#include "backend/sqlite_db.h"
#include "backend/store.h"

namespace backend {

// The store in one SQLite file: WAL journal with synchronous commits, so an answered write
// survives a crash of the process or the machine. Writes are serialised on one connection (SQLite
// allows one writer anyway, and waiting in line on our own lock is fairer than SQLite's busy
// retries); reads run in parallel on a pool of connections, one per request thread at most.
class SqliteStore final : public IStore {
public:
    // Opens or creates the database and its tables. Null with `error` when it cannot be used.
    static std::unique_ptr<SqliteStore> Open(const std::string& path, int readers,
                                             std::string& error);
    ~SqliteStore() override;

    IssueResult IssueSmsCode(const std::string& phone, const std::string& address,
                             const std::string& codeHash, const SmsPolicy& policy,
                             const Clock& clock) override;
    CodeResult SignInWithCode(const std::string& phone, const std::string& codeHash,
                              const Identity& identity, const NewSession& session,
                              const SmsPolicy& policy, const Clock& clock,
                              AccountId& account) override;
    QrResult CreateQrState(const std::string& state, const std::string& provider,
                           const std::string& address, std::int64_t expiresAt, int maxLive,
                           int maxPerAddress, const Clock& clock) override;
    QrResult PeekQrState(const std::string& state, const std::string& provider,
                         const Clock& clock) override;
    QrResult BindQrState(const std::string& state, const std::string& provider,
                         const Identity& identity, const Clock& clock) override;
    QrResult ClaimQrState(const std::string& state, const std::string& provider,
                          const NewSession& session, const Clock& clock,
                          AccountId& account) override;
    Found FindSession(const std::string& tokenHash, const Clock& clock,
                      AccountId& account) override;
    Found LoadAccount(AccountId id, int freeDaily, const Clock& clock, Account& out) override;
    ChargeResult Charge(AccountId id, const std::string& logId, int freeDaily, const Clock& clock,
                        Counts& counts) override;
    bool GrantGift(AccountId id, int nums, bool& granted) override;
    ReportResult SaveReport(AccountId account, const std::string& device, int status,
                            const std::string& body, int maxPerDay, const Clock& clock) override;
    bool KeepSecret(const std::string& name, const std::string& fresh,
                    std::string& stored) override;
    OrderResult CreateOrder(const Order& order) override;
    Found GetOrder(const std::string& orderNo, Order& out) override;
    OrderResult PayOrder(const std::string& orderNo, std::int64_t amountFen,
                         const std::string& paymentRef, const Clock& clock) override;
    void Prune(const Clock& clock, std::int64_t keepSince, int maxReports) override;

private:
    SqliteStore(std::string path, int readers);

    // Runs `step` in a write transaction on the writer connection; a database error rolls back,
    // is logged and gives `onError`.
    template <class Step, class Result>
    Result Write(const char* what, Result onError, Step&& step);
    // Runs `step` on a pooled reader connection.
    template <class Step, class Result>
    Result Read(const char* what, Result onError, Step&& step);

    std::unique_ptr<db::Connection> TakeReader();
    void ReturnReader(std::unique_ptr<db::Connection> conn);

    const std::string path_;
    FifoMutex writeMutex_;
    std::unique_ptr<db::Connection> writer_;
    std::mutex readMutex_;
    std::condition_variable readerFree_;
    std::vector<std::unique_ptr<db::Connection>> idleReaders_;
    int readersOpen_ = 0;
    const int maxReaders_;
};

}  // namespace backend
