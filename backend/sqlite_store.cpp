#include "backend/sqlite_store.h"

#include <fcntl.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>

#include "backend/secrets.h"

namespace backend {

namespace {

constexpr std::int64_t kMaxPack = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLatestTime = 253402300799;  // 9999-12-31 23:59:59 UTC
// Below the program's 3 s request timeout, so that it gets an answer rather than a timeout.
constexpr auto kWriteWait = std::chrono::seconds(2);

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  nickname TEXT NOT NULL,
  avatar TEXT NOT NULL DEFAULT '',
  created_at INTEGER NOT NULL,
  vip_end INTEGER NOT NULL DEFAULT 0,
  pack_nums INTEGER NOT NULL DEFAULT 0,
  free_day INTEGER NOT NULL DEFAULT 0,
  free_used INTEGER NOT NULL DEFAULT 0,
  gift_taken INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS identities(
  kind TEXT NOT NULL,
  key TEXT NOT NULL,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  PRIMARY KEY(kind, key)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS sessions(
  token_hash TEXT PRIMARY KEY,
  account_id INTEGER NOT NULL UNIQUE REFERENCES accounts(id),
  created_at INTEGER NOT NULL,
  expires_at INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS sms_codes(
  phone TEXT PRIMARY KEY,
  code_hash TEXT NOT NULL,
  sent_at INTEGER NOT NULL,
  expires_at INTEGER NOT NULL,
  tries_left INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS sms_sends(
  id INTEGER PRIMARY KEY,
  phone TEXT NOT NULL,
  address TEXT NOT NULL,
  day INTEGER NOT NULL,
  sent_at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS sms_sends_phone ON sms_sends(day, phone);
CREATE INDEX IF NOT EXISTS sms_sends_address ON sms_sends(day, address);
CREATE TABLE IF NOT EXISTS qr_states(
  state TEXT PRIMARY KEY,
  provider TEXT NOT NULL,
  expires_at INTEGER NOT NULL,
  account_id INTEGER,
  claimed INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS qr_states_expiry ON qr_states(expires_at);
CREATE TABLE IF NOT EXISTS vip_periods(
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  goods_id INTEGER NOT NULL,
  unlimited INTEGER NOT NULL,
  start_at INTEGER NOT NULL,
  end_at INTEGER NOT NULL,
  order_no TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS vip_periods_account ON vip_periods(account_id, start_at);
CREATE TABLE IF NOT EXISTS charges(
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL,
  log_id TEXT,
  kind TEXT NOT NULL,
  at INTEGER NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS charges_log ON charges(account_id, log_id);
CREATE INDEX IF NOT EXISTS charges_at ON charges(at);
CREATE TABLE IF NOT EXISTS reports(
  id INTEGER PRIMARY KEY,
  account_id INTEGER,
  device TEXT NOT NULL,
  status INTEGER NOT NULL,
  at INTEGER NOT NULL,
  body TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS reports_at ON reports(at);
CREATE TABLE IF NOT EXISTS orders(
  order_no TEXT PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id),
  goods_id INTEGER NOT NULL,
  goods_name TEXT NOT NULL,
  duration_days INTEGER NOT NULL,
  unlimited INTEGER NOT NULL,
  trans_nums INTEGER NOT NULL,
  price_fen INTEGER NOT NULL,
  pay_method INTEGER NOT NULL,
  status INTEGER NOT NULL,
  created_at INTEGER NOT NULL,
  paid_at INTEGER NOT NULL DEFAULT 0,
  payment_ref TEXT NOT NULL DEFAULT '') WITHOUT ROWID;
INSERT INTO sqlite_sequence(name, seq) SELECT 'accounts', 100000
  WHERE NOT EXISTS(SELECT 1 FROM sqlite_sequence WHERE name='accounts');
)sql";

// Version 2: QR states remember who asked for them; counters of code checks and reports per
// day; secrets shared by every instance on the database.
constexpr const char* kSchemaV2 = R"sql(
ALTER TABLE qr_states ADD COLUMN address TEXT NOT NULL DEFAULT '';
CREATE INDEX qr_states_address ON qr_states(address, expires_at);
CREATE TABLE sms_checks(
  phone TEXT NOT NULL,
  day INTEGER NOT NULL,
  n INTEGER NOT NULL,
  PRIMARY KEY(phone, day)) WITHOUT ROWID;
CREATE TABLE report_days(
  account_id INTEGER NOT NULL,
  day INTEGER NOT NULL,
  n INTEGER NOT NULL,
  PRIMARY KEY(account_id, day)) WITHOUT ROWID;
CREATE TABLE secrets(
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL) WITHOUT ROWID;
)sql";

// Schema migrations, applied in order at start; user_version counts those applied.
const char* const kMigrations[] = {kSchema, kSchemaV2};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));

// Per-connection settings. FULL makes every commit reach the disk before it returns.
constexpr const char* kConnectionPragmas =
    "PRAGMA busy_timeout=5000; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;";

bool UnlimitedNow(db::Connection& c, AccountId id, std::int64_t now) {
    auto q = c.Prepare(
        "SELECT EXISTS(SELECT 1 FROM vip_periods WHERE account_id=?1 AND unlimited=1 "
        "AND start_at<=?2 AND end_at>?2)");
    q.Bind(1, id).Bind(2, now);
    return q.Step() && q.Int(0) != 0;
}

// The account's counts; false when there is no such account.
bool ReadCounts(db::Connection& c, AccountId id, int freeDaily, const Clock& clock, Counts& out) {
    auto q = c.Prepare("SELECT pack_nums, free_day, free_used FROM accounts WHERE id=?1");
    q.Bind(1, id);
    if (!q.Step()) {
        return false;
    }
    const std::int64_t used = q.Int(1) == clock.day ? q.Int(2) : 0;
    out.packNums = static_cast<int>(q.Int(0));
    out.freeLeft = static_cast<int>(std::max<std::int64_t>(0, freeDaily - used));
    out.unlimited = UnlimitedNow(c, id, clock.now);
    return true;
}

AccountId FindOrCreateAccount(db::Connection& c, const Identity& identity, const Clock& clock) {
    {
        auto q = c.Prepare("SELECT account_id FROM identities WHERE kind=?1 AND key=?2");
        q.Bind(1, identity.kind).Bind(2, identity.key);
        if (q.Step()) {
            return q.Int(0);
        }
    }
    c.Prepare("INSERT INTO accounts(nickname, created_at) VALUES(?1, ?2)")
        .Bind(1, identity.nickname)
        .Bind(2, clock.now)
        .Run();
    const AccountId id = c.LastInsertId();
    c.Prepare("INSERT INTO identities(kind, key, account_id) VALUES(?1, ?2, ?3)")
        .Bind(1, identity.kind)
        .Bind(2, identity.key)
        .Bind(3, id)
        .Run();
    return id;
}

// One session per account: a new sign-in ends the older one.
void ReplaceSession(db::Connection& c, AccountId id, const NewSession& session,
                    const Clock& clock) {
    c.Prepare("DELETE FROM sessions WHERE account_id=?1").Bind(1, id).Run();
    c.Prepare(
         "INSERT INTO sessions(token_hash, account_id, created_at, expires_at) "
         "VALUES(?1, ?2, ?3, ?4)")
        .Bind(1, session.tokenHash)
        .Bind(2, id)
        .Bind(3, clock.now)
        .Bind(4, session.expiresAt)
        .Run();
}

std::int64_t CountSends(db::Connection& c, const char* sql, int day, const std::string& key) {
    auto q = c.Prepare(sql);
    q.Bind(1, day).Bind(2, key);
    return q.Step() ? q.Int(0) : 0;
}

}  // namespace

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, int readers,
                                               std::string& error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore(path, std::max(1, readers)));
    // Created private; SQLite gives its journal files the database file's mode.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    try {
        store->writer_ = std::make_unique<db::Connection>(path, true);
        db::Connection& c = *store->writer_;
        c.Exec("PRAGMA journal_mode=WAL");
        c.Exec(kConnectionPragmas);
        std::int64_t version = 0;
        {
            auto q = c.Prepare("PRAGMA user_version");
            version = q.Step() ? q.Int(0) : 0;
        }
        if (version > kSchemaVersion) {
            error = "the database " + path + " was written by a newer back-end (schema " +
                    std::to_string(version) + ")";
            return nullptr;
        }
        if (version < kSchemaVersion) {
            db::Transaction tx(c);
            for (auto v = version; v < kSchemaVersion; ++v) {
                c.Exec(kMigrations[v]);
            }
            c.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
            tx.Commit();
        }
        // The reader connections must see WAL mode: check one can be opened now.
        store->ReturnReader(store->TakeReader());
    } catch (const db::DbError& e) {
        error = e.what();
        return nullptr;
    }
    return store;
}

SqliteStore::SqliteStore(std::string path, int readers)
    : path_(std::move(path)), maxReaders_(readers) {}

SqliteStore::~SqliteStore() = default;

std::unique_ptr<db::Connection> SqliteStore::TakeReader() {
    std::unique_lock lock(readMutex_);
    readerFree_.wait(lock, [this] { return !idleReaders_.empty() || readersOpen_ < maxReaders_; });
    if (!idleReaders_.empty()) {
        auto conn = std::move(idleReaders_.back());
        idleReaders_.pop_back();
        return conn;
    }
    ++readersOpen_;
    lock.unlock();
    try {
        auto conn = std::make_unique<db::Connection>(path_, false);
        conn->Exec(kConnectionPragmas);
        conn->Exec("PRAGMA query_only=1");
        return conn;
    } catch (...) {
        lock.lock();
        --readersOpen_;
        readerFree_.notify_one();
        throw;
    }
}

void SqliteStore::ReturnReader(std::unique_ptr<db::Connection> conn) {
    std::lock_guard lock(readMutex_);
    idleReaders_.push_back(std::move(conn));
    readerFree_.notify_one();
}

template <class Step, class Result>
Result SqliteStore::Write(const char* what, Result onError, Step&& step) {
    // One bound for the whole wait, in line and on another process's lock: when the file stays
    // locked, writers queued behind each other all fail after it instead of one after another.
    const auto deadline = std::chrono::steady_clock::now() + kWriteWait;
    if (!writeMutex_.try_lock_until(deadline)) {
        spdlog::error("database write failed: {}, {}", what, "no turn to write in time");
        return onError;
    }
    std::lock_guard lock(writeMutex_, std::adopt_lock);
    try {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        writer_->SetBusyTimeout(static_cast<int>(std::max<std::int64_t>(0, left.count())));
        db::Transaction tx(*writer_);
        Result result = step(*writer_);
        tx.Commit();
        return result;
    } catch (const std::exception& e) {
        spdlog::error("database write failed: {}, {}", what, e.what());
        return onError;
    }
}

template <class Step, class Result>
Result SqliteStore::Read(const char* what, Result onError, Step&& step) {
    std::unique_ptr<db::Connection> conn;
    try {
        conn = TakeReader();
        // A read of several statements sees one snapshot.
        conn->Exec("BEGIN");
        Result result = step(*conn);
        conn->Exec("COMMIT");
        ReturnReader(std::move(conn));
        return result;
    } catch (const std::exception& e) {
        spdlog::error("database read failed: {}, {}", what, e.what());
        if (conn) {
            conn->Rollback();
            ReturnReader(std::move(conn));
        }
        return onError;
    }
}

IStore::IssueResult SqliteStore::IssueSmsCode(const std::string& phone, const std::string& address,
                                              const std::string& codeHash, const SmsPolicy& policy,
                                              const Clock& clock) {
    return Write("issue sms code", IssueResult::Error, [&](db::Connection& c) {
        {
            auto q = c.Prepare("SELECT sent_at FROM sms_codes WHERE phone=?1");
            q.Bind(1, phone);
            if (q.Step() && clock.now - q.Int(0) < policy.resendSeconds) {
                return IssueResult::TooSoon;
            }
        }
        if (CountSends(c, "SELECT COUNT(*) FROM sms_sends WHERE day=?1 AND phone=?2", clock.day,
                       phone) >= policy.dailyPerPhone) {
            return IssueResult::PhoneCap;
        }
        if (CountSends(c, "SELECT COUNT(*) FROM sms_sends WHERE day=?1 AND address=?2", clock.day,
                       address) >= policy.dailyPerAddress) {
            return IssueResult::AddressCap;
        }
        c.Prepare(
             "INSERT OR REPLACE INTO sms_codes(phone, code_hash, sent_at, expires_at, tries_left) "
             "VALUES(?1, ?2, ?3, ?4, ?5)")
            .Bind(1, phone)
            .Bind(2, codeHash)
            .Bind(3, clock.now)
            .Bind(4, clock.now + policy.codeTtlSeconds)
            .Bind(5, policy.maxTries)
            .Run();
        c.Prepare("INSERT INTO sms_sends(phone, address, day, sent_at) VALUES(?1, ?2, ?3, ?4)")
            .Bind(1, phone)
            .Bind(2, address)
            .Bind(3, clock.day)
            .Bind(4, clock.now)
            .Run();
        return IssueResult::Ok;
    });
}

IStore::CodeResult SqliteStore::SignInWithCode(const std::string& phone,
                                               const std::string& codeHash,
                                               const Identity& identity, const NewSession& session,
                                               const SmsPolicy& policy, const Clock& clock,
                                               AccountId& account) {
    return Write("sign in with code", CodeResult::Error, [&](db::Connection& c) {
        c.Prepare(
             "INSERT INTO sms_checks(phone, day, n) VALUES(?1, ?2, 1) "
             "ON CONFLICT(phone, day) DO UPDATE SET n=n+1 WHERE n<?3")
            .Bind(1, phone)
            .Bind(2, clock.day)
            .Bind(3, policy.dailyChecksPerPhone)
            .Run();
        if (c.Changes() == 0) {
            return CodeResult::TooMany;
        }
        std::string stored;
        std::int64_t triesLeft = 0;
        {
            auto q = c.Prepare(
                "SELECT code_hash, tries_left FROM sms_codes WHERE phone=?1 AND expires_at>?2");
            q.Bind(1, phone).Bind(2, clock.now);
            if (!q.Step()) {
                return CodeResult::Gone;
            }
            stored = q.Text(0);
            triesLeft = q.Int(1);
        }
        if (!secrets::Equal(stored, codeHash)) {
            if (triesLeft <= 1) {
                // Burnt: the code row stays (with no tries) so the resend interval still holds.
                c.Prepare("UPDATE sms_codes SET tries_left=0, expires_at=?2 WHERE phone=?1")
                    .Bind(1, phone)
                    .Bind(2, clock.now)
                    .Run();
            } else {
                c.Prepare("UPDATE sms_codes SET tries_left=tries_left-1 WHERE phone=?1")
                    .Bind(1, phone)
                    .Run();
            }
            return CodeResult::Wrong;
        }
        c.Prepare("UPDATE sms_codes SET tries_left=0, expires_at=?2 WHERE phone=?1")
            .Bind(1, phone)
            .Bind(2, clock.now)
            .Run();
        account = FindOrCreateAccount(c, identity, clock);
        ReplaceSession(c, account, session, clock);
        return CodeResult::Ok;
    });
}

IStore::QrResult SqliteStore::CreateQrState(const std::string& state, const std::string& provider,
                                            const std::string& address, std::int64_t expiresAt,
                                            int maxLive, int maxPerAddress, const Clock& clock) {
    return Write("create qr state", QrResult::Error, [&](db::Connection& c) {
        {
            auto q = c.Prepare("SELECT COUNT(*) FROM qr_states WHERE expires_at>?1");
            q.Bind(1, clock.now);
            if (q.Step() && q.Int(0) >= maxLive) {
                return QrResult::TooMany;
            }
        }
        {
            auto q = c.Prepare("SELECT COUNT(*) FROM qr_states WHERE address=?1 AND expires_at>?2");
            q.Bind(1, address).Bind(2, clock.now);
            if (q.Step() && q.Int(0) >= maxPerAddress) {
                return QrResult::TooMany;
            }
        }
        c.Prepare(
             "INSERT INTO qr_states(state, provider, expires_at, address) VALUES(?1, ?2, ?3, ?4)")
            .Bind(1, state)
            .Bind(2, provider)
            .Bind(3, expiresAt)
            .Bind(4, address)
            .Run();
        return QrResult::Ok;
    });
}

IStore::QrResult SqliteStore::PeekQrState(const std::string& state, const std::string& provider,
                                          const Clock& clock) {
    return Read("peek qr state", QrResult::Error, [&](db::Connection& c) {
        auto q = c.Prepare(
            "SELECT account_id IS NOT NULL FROM qr_states "
            "WHERE state=?1 AND provider=?2 AND expires_at>?3 AND claimed=0");
        q.Bind(1, state).Bind(2, provider).Bind(3, clock.now);
        if (!q.Step()) {
            return QrResult::Gone;
        }
        return q.Int(0) != 0 ? QrResult::Ok : QrResult::Waiting;
    });
}

IStore::QrResult SqliteStore::BindQrState(const std::string& state, const std::string& provider,
                                          const Identity& identity, const Clock& clock) {
    return Write("bind qr state", QrResult::Error, [&](db::Connection& c) {
        {
            auto q = c.Prepare(
                "SELECT 1 FROM qr_states WHERE state=?1 AND provider=?2 AND expires_at>?3 "
                "AND account_id IS NULL");
            q.Bind(1, state).Bind(2, provider).Bind(3, clock.now);
            if (!q.Step()) {
                return QrResult::Gone;
            }
        }
        const AccountId account = FindOrCreateAccount(c, identity, clock);
        c.Prepare("UPDATE qr_states SET account_id=?2 WHERE state=?1")
            .Bind(1, state)
            .Bind(2, account)
            .Run();
        return QrResult::Ok;
    });
}

IStore::QrResult SqliteStore::ClaimQrState(const std::string& state, const std::string& provider,
                                           const NewSession& session, const Clock& clock,
                                           AccountId& account) {
    return Write("claim qr state", QrResult::Error, [&](db::Connection& c) {
        {
            auto q = c.Prepare(
                "SELECT account_id FROM qr_states WHERE state=?1 AND provider=?2 "
                "AND expires_at>?3 AND claimed=0");
            q.Bind(1, state).Bind(2, provider).Bind(3, clock.now);
            if (!q.Step()) {
                return QrResult::Gone;
            }
            if (q.IsNull(0)) {
                return QrResult::Waiting;
            }
            account = q.Int(0);
        }
        c.Prepare("UPDATE qr_states SET claimed=1 WHERE state=?1").Bind(1, state).Run();
        ReplaceSession(c, account, session, clock);
        return QrResult::Ok;
    });
}

Found SqliteStore::FindSession(const std::string& tokenHash, const Clock& clock,
                               AccountId& account) {
    return Read("find session", Found::Error, [&](db::Connection& c) {
        auto q = c.Prepare("SELECT account_id FROM sessions WHERE token_hash=?1 AND expires_at>?2");
        q.Bind(1, tokenHash).Bind(2, clock.now);
        if (!q.Step()) {
            return Found::No;
        }
        account = q.Int(0);
        return Found::Yes;
    });
}

Found SqliteStore::LoadAccount(AccountId id, int freeDaily, const Clock& clock, Account& out) {
    return Read("load account", Found::Error, [&](db::Connection& c) {
        {
            auto q =
                c.Prepare("SELECT nickname, avatar, vip_end, gift_taken FROM accounts WHERE id=?1");
            q.Bind(1, id);
            if (!q.Step()) {
                return Found::No;
            }
            out.id = id;
            out.nickname = q.Text(0);
            out.avatar = q.Text(1);
            out.vipEnd = q.Int(2);
            out.giftTaken = q.Int(3) != 0;
        }
        ReadCounts(c, id, freeDaily, clock, out.counts);
        out.vips.clear();
        auto q = c.Prepare(
            "SELECT goods_id, unlimited, start_at, end_at FROM vip_periods WHERE account_id=?1 "
            "ORDER BY start_at, id");
        q.Bind(1, id);
        while (q.Step()) {
            out.vips.push_back({static_cast<int>(q.Int(0)), q.Int(1) != 0, q.Int(2), q.Int(3)});
        }
        return Found::Yes;
    });
}

IStore::ChargeResult SqliteStore::Charge(AccountId id, const std::string& logId, int freeDaily,
                                         const Clock& clock, Counts& counts) {
    return Write("charge", ChargeResult::Error, [&](db::Connection& c) {
        if (!ReadCounts(c, id, freeDaily, clock, counts)) {
            throw db::DbError("account " + std::to_string(id) + " is missing");
        }
        if (counts.unlimited) {
            return ChargeResult::Unlimited;
        }
        if (!logId.empty()) {
            auto q = c.Prepare("SELECT 1 FROM charges WHERE account_id=?1 AND log_id=?2");
            q.Bind(1, id).Bind(2, logId);
            if (q.Step()) {
                return ChargeResult::Repeated;
            }
        }
        const char* kind = "free";
        if (counts.freeLeft > 0) {
            c.Prepare(
                 "UPDATE accounts SET free_used=CASE WHEN free_day=?2 THEN free_used+1 ELSE 1 END, "
                 "free_day=?2 WHERE id=?1")
                .Bind(1, id)
                .Bind(2, clock.day)
                .Run();
            --counts.freeLeft;
        } else if (counts.packNums > 0) {
            c.Prepare("UPDATE accounts SET pack_nums=pack_nums-1 WHERE id=?1").Bind(1, id).Run();
            --counts.packNums;
            kind = "pack";
        } else {
            return ChargeResult::Exhausted;
        }
        auto insert = c.Prepare(
            "INSERT INTO charges(account_id, log_id, kind, at) "
            "VALUES(?1, ?2, ?3, ?4)");
        insert.Bind(1, id).Bind(3, kind).Bind(4, clock.now);
        if (logId.empty()) {
            insert.BindNull(2);
        } else {
            insert.Bind(2, logId);
        }
        insert.Run();
        return ChargeResult::Charged;
    });
}

bool SqliteStore::GrantGift(AccountId id, int nums, bool& granted) {
    return Write("grant gift", false, [&](db::Connection& c) {
        c.Prepare(
             "UPDATE accounts SET gift_taken=1, pack_nums=MIN(pack_nums+?2, ?3) "
             "WHERE id=?1 AND gift_taken=0")
            .Bind(1, id)
            .Bind(2, nums)
            .Bind(3, kMaxPack)
            .Run();
        granted = c.Changes() == 1;
        return true;
    });
}

IStore::ReportResult SqliteStore::SaveReport(AccountId account, const std::string& device,
                                             int status, const std::string& body, int maxPerDay,
                                             const Clock& clock) {
    return Write("save report", ReportResult::Error, [&](db::Connection& c) {
        c.Prepare(
             "INSERT INTO report_days(account_id, day, n) VALUES(?1, ?2, 1) "
             "ON CONFLICT(account_id, day) DO UPDATE SET n=n+1 WHERE n<?3")
            .Bind(1, account)
            .Bind(2, clock.day)
            .Bind(3, maxPerDay)
            .Run();
        if (c.Changes() == 0) {
            return ReportResult::DayCap;
        }
        c.Prepare(
             "INSERT INTO reports(account_id, device, status, at, body) VALUES(?1, ?2, ?3, ?4, ?5)")
            .Bind(1, account)
            .Bind(2, device)
            .Bind(3, status)
            .Bind(4, clock.now)
            .Bind(5, body)
            .Run();
        return ReportResult::Saved;
    });
}

bool SqliteStore::KeepSecret(const std::string& name, const std::string& fresh,
                             std::string& stored) {
    return Write("keep secret", false, [&](db::Connection& c) {
        c.Prepare("INSERT OR IGNORE INTO secrets(name, value) VALUES(?1, ?2)")
            .Bind(1, name)
            .Bind(2, fresh)
            .Run();
        auto q = c.Prepare("SELECT value FROM secrets WHERE name=?1");
        q.Bind(1, name);
        if (!q.Step()) {
            return false;
        }
        stored = q.Text(0);
        return true;
    });
}

IStore::OrderResult SqliteStore::CreateOrder(const Order& o) {
    return Write("create order", OrderResult::Error, [&](db::Connection& c) {
        {
            auto q = c.Prepare("SELECT 1 FROM orders WHERE order_no=?1");
            q.Bind(1, o.orderNo);
            if (q.Step()) {
                return OrderResult::Duplicate;
            }
        }
        c.Prepare(
             "INSERT INTO orders(order_no, account_id, goods_id, goods_name, duration_days, "
             "unlimited, trans_nums, price_fen, pay_method, status, created_at) "
             "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)")
            .Bind(1, o.orderNo)
            .Bind(2, o.account)
            .Bind(3, o.goodsId)
            .Bind(4, o.goodsName)
            .Bind(5, o.durationDays)
            .Bind(6, o.unlimited ? 1 : 0)
            .Bind(7, o.transNums)
            .Bind(8, o.priceFen)
            .Bind(9, o.payMethod)
            .Bind(10, kOrderUnpaid)
            .Bind(11, o.createdAt)
            .Run();
        return OrderResult::Ok;
    });
}

namespace {

bool ReadOrder(db::Connection& c, const std::string& orderNo, Order& o) {
    auto q = c.Prepare(
        "SELECT account_id, goods_id, goods_name, duration_days, unlimited, trans_nums, "
        "price_fen, pay_method, status, created_at FROM orders WHERE order_no=?1");
    q.Bind(1, orderNo);
    if (!q.Step()) {
        return false;
    }
    o.orderNo = orderNo;
    o.account = q.Int(0);
    o.goodsId = static_cast<int>(q.Int(1));
    o.goodsName = q.Text(2);
    o.durationDays = static_cast<int>(q.Int(3));
    o.unlimited = q.Int(4) != 0;
    o.transNums = static_cast<int>(q.Int(5));
    o.priceFen = q.Int(6);
    o.payMethod = static_cast<int>(q.Int(7));
    o.status = static_cast<int>(q.Int(8));
    o.createdAt = q.Int(9);
    return true;
}

}  // namespace

Found SqliteStore::GetOrder(const std::string& orderNo, Order& out) {
    return Read("get order", Found::Error, [&](db::Connection& c) {
        return ReadOrder(c, orderNo, out) ? Found::Yes : Found::No;
    });
}

IStore::OrderResult SqliteStore::PayOrder(const std::string& orderNo, std::int64_t amountFen,
                                          const std::string& paymentRef, const Clock& clock) {
    return Write("pay order", OrderResult::Error, [&](db::Connection& c) {
        Order o;
        if (!ReadOrder(c, orderNo, o)) {
            return OrderResult::NotFound;
        }
        if (o.status == kOrderPaid) {
            return OrderResult::AlreadyPaid;
        }
        if (o.priceFen != amountFen) {
            return OrderResult::AmountMismatch;
        }
        c.Prepare("UPDATE orders SET status=?2, paid_at=?3, payment_ref=?4 WHERE order_no=?1")
            .Bind(1, orderNo)
            .Bind(2, kOrderPaid)
            .Bind(3, clock.now)
            .Bind(4, paymentRef)
            .Run();
        if (o.durationDays > 0) {
            std::int64_t vipEnd = 0;
            {
                auto q = c.Prepare("SELECT vip_end FROM accounts WHERE id=?1");
                q.Bind(1, o.account);
                if (!q.Step()) {
                    throw db::DbError("account of order " + orderNo + " is missing");
                }
                vipEnd = q.Int(0);
            }
            // A new membership starts when the current one ends.
            const std::int64_t start = std::max(clock.now, vipEnd);
            const std::int64_t end =
                std::min(kLatestTime, start + std::int64_t{o.durationDays} * 86400);
            c.Prepare("UPDATE accounts SET vip_end=?2 WHERE id=?1")
                .Bind(1, o.account)
                .Bind(2, end)
                .Run();
            c.Prepare(
                 "INSERT INTO vip_periods(account_id, goods_id, unlimited, start_at, end_at, "
                 "order_no) VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
                .Bind(1, o.account)
                .Bind(2, o.goodsId)
                .Bind(3, o.unlimited ? 1 : 0)
                .Bind(4, start)
                .Bind(5, end)
                .Bind(6, orderNo)
                .Run();
        }
        if (o.transNums > 0) {
            c.Prepare("UPDATE accounts SET pack_nums=MIN(pack_nums+?2, ?3) WHERE id=?1")
                .Bind(1, o.account)
                .Bind(2, o.transNums)
                .Bind(3, kMaxPack)
                .Run();
        }
        return OrderResult::Ok;
    });
}

void SqliteStore::Prune(const Clock& clock, std::int64_t keepSince, int maxReports) {
    Write("prune", false, [&](db::Connection& c) {
        // Codes stay until their resend interval is surely over, so burning one cannot be
        // undone by asking again at once.
        c.Prepare("DELETE FROM sms_codes WHERE sent_at<?1").Bind(1, clock.now - 86400).Run();
        c.Prepare("DELETE FROM sms_sends WHERE sent_at<?1").Bind(1, clock.now - 2 * 86400).Run();
        c.Prepare("DELETE FROM qr_states WHERE expires_at<=?1").Bind(1, clock.now).Run();
        // Only today's counters are ever read.
        c.Prepare("DELETE FROM sms_checks WHERE day<?1").Bind(1, clock.day).Run();
        c.Prepare("DELETE FROM report_days WHERE day<?1").Bind(1, clock.day).Run();
        c.Prepare("DELETE FROM sessions WHERE expires_at<=?1").Bind(1, clock.now).Run();
        c.Prepare("DELETE FROM charges WHERE at<?1").Bind(1, keepSince).Run();
        c.Prepare("DELETE FROM reports WHERE at<?1").Bind(1, keepSince).Run();
        c.Prepare(
             "DELETE FROM reports WHERE id<=(SELECT id FROM reports ORDER BY id DESC "
             "LIMIT 1 OFFSET ?1)")
            .Bind(1, maxReports)
            .Run();
        return true;
    });
}

}  // namespace backend
