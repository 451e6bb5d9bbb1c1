#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backend/store.h"

namespace pqxx {
class connection_base;
}

namespace backend {

// The store on a PostgreSQL database shared by several back-end instances. Correctness rests on
// the database alone: every check-then-write is one conditional statement, or a short
// transaction whose rows (or an advisory lock) are taken before they are checked, so instances
// need no lock of their own. Times and days come from the database's clock in one fixed time
// zone; the caller's clock is not used for them.
class PgStore final : public IStore {
public:
    struct Options {
        std::string url;       // postgresql://…
        int poolSize = 8;      // connections at most
        std::string timeZone;  // the zone of the calendar day, e.g. "Asia/Shanghai"
    };

    // Connects, checks the zone and migrates the schema. Null with `error` when it cannot.
    static std::unique_ptr<PgStore> Open(const Options& options, std::string& error);
    ~PgStore() override;

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
    // Every pooled connection is a pqxx::connection; its base class has no virtual destructor,
    // so it is deleted as what it is.
    struct ConnDeleter {
        void operator()(pqxx::connection_base* conn) const noexcept;
    };
    using Conn = std::unique_ptr<pqxx::connection_base, ConnDeleter>;

    explicit PgStore(Options options);

    // A connection of the pool, opened when none is idle and fewer than poolSize are open; null
    // with `error` when none frees up in time or the database cannot be reached.
    Conn Take(std::string& error);
    // Back to the pool; a broken connection is closed instead.
    void Give(Conn conn);
    Conn Connect();

    // Runs `step(tx)` in a transaction of type Tx on a pooled connection. A serialization failure
    // or deadlock runs it again; a connection found broken before the step could commit runs it
    // once more on a fresh one. Other failures are logged and give `onError`.
    template <class Tx, class Result, class Step>
    Result Run(const char* what, Result onError, Step&& step);

    const Options options_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<Conn> idle_;
    int open_ = 0;
};

}  // namespace backend
