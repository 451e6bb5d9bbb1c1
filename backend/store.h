#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the back-end keeps, behind one narrow interface. Every operation is one atomic step (one
// transaction), takes the current time from the caller and reports failures as a status, never
// as an exception. The SQLite store is the local default; a shared database for several
// instances is another implementation of the same interface.
namespace backend {

using AccountId = std::int64_t;

// Times are seconds since the epoch. A "day" is the caller's calendar day as YYYYMMDD, the unit
// of the free quota and of the sign-in code caps.
struct Clock {
    std::int64_t now = 0;
    int day = 0;
};

// How an account is found at sign-in: a phone number, or a QR provider's user id.
struct Identity {
    std::string kind;      // "phone", "qq", "wechat"
    std::string key;       // the number or the provider's id
    std::string nickname;  // for a new account
};

// A token to issue at sign-in; only its hash is stored.
struct NewSession {
    std::string tokenHash;
    std::int64_t expiresAt = 0;
};

struct VipPeriod {
    int goodsId = 0;
    bool unlimited = false;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

struct Counts {
    bool unlimited = false;  // an unlimited membership covers now: nothing is counted
    int freeLeft = 0;        // free translations left today
    int packNums = 0;        // translations bought or given

    // All translations left, at most the largest 32-bit count (what the program can hold).
    int Total() const {
        const long long total = static_cast<long long>(freeLeft) + packNums;
        return total > 2147483647 ? 2147483647 : static_cast<int>(total);
    }
};

struct Account {
    AccountId id = 0;
    std::string nickname;
    std::string avatar;
    std::int64_t vipEnd = 0;
    bool giftTaken = false;
    Counts counts;
    std::vector<VipPeriod> vips;
};

struct Order {
    std::string orderNo;
    AccountId account = 0;
    int goodsId = 0;
    std::string goodsName;
    int durationDays = 0;  // membership length; 0 for a translation pack
    bool unlimited = false;
    int transNums = 0;
    std::int64_t priceFen = 0;
    int payMethod = 0;
    int status = 0;  // kOrderUnpaid or kOrderPaid
    std::int64_t createdAt = 0;
};
inline constexpr int kOrderUnpaid = 1;
inline constexpr int kOrderPaid = 2;

struct SmsPolicy {
    int codeTtlSeconds = 300;
    int maxTries = 5;
    int resendSeconds = 60;
    int dailyPerPhone = 10;
    int dailyPerAddress = 30;
    // Code checks per phone and day, from every address together: the tries of one code bound a
    // guesser per code, this bounds one who asks for codes from many addresses.
    int dailyChecksPerPhone = 30;
};

enum class Found { Yes, No, Error };

class IStore {
public:
    virtual ~IStore() = default;

    // --- sign-in codes
    enum class IssueResult { Ok, TooSoon, PhoneCap, AddressCap, Error };
    // Stores a new code for `phone` (replacing an older one) unless the policy forbids it now.
    virtual IssueResult IssueSmsCode(const std::string& phone, const std::string& address,
                                     const std::string& codeHash, const SmsPolicy& policy,
                                     const Clock& clock) = 0;

    enum class CodeResult { Ok, Wrong, Gone, TooMany, Error };
    // Checks the code; a match burns it, finds or creates the phone's account and replaces its
    // session. A wrong code costs one try; the last wrong try burns it. Every check counts
    // towards policy.dailyChecksPerPhone for the day; past it, TooMany without checking. The
    // stored hash is compared in constant time (secrets::Equal).
    virtual CodeResult SignInWithCode(const std::string& phone, const std::string& codeHash,
                                      const Identity& identity, const NewSession& session,
                                      const SmsPolicy& policy, const Clock& clock,
                                      AccountId& account) = 0;

    // --- QR-code sign-in
    enum class QrResult { Ok, Waiting, Gone, TooMany, Error };
    // Ok, or TooMany when `maxLive` states are already live, or `maxPerAddress` of them were
    // asked for from `address`.
    virtual QrResult CreateQrState(const std::string& state, const std::string& provider,
                                   const std::string& address, std::int64_t expiresAt, int maxLive,
                                   int maxPerAddress, const Clock& clock) = 0;
    // Waiting (not confirmed yet), Ok (confirmed, not yet claimed) or Gone.
    virtual QrResult PeekQrState(const std::string& state, const std::string& provider,
                                 const Clock& clock) = 0;
    // Confirmation: binds a waiting state to the identity's account (created when new).
    virtual QrResult BindQrState(const std::string& state, const std::string& provider,
                                 const Identity& identity, const Clock& clock) = 0;
    // The poll: a bound state issues the session once; Waiting before the confirmation.
    virtual QrResult ClaimQrState(const std::string& state, const std::string& provider,
                                  const NewSession& session, const Clock& clock,
                                  AccountId& account) = 0;

    // --- accounts
    virtual Found FindSession(const std::string& tokenHash, const Clock& clock,
                              AccountId& account) = 0;
    virtual Found LoadAccount(AccountId id, int freeDaily, const Clock& clock, Account& out) = 0;

    enum class ChargeResult { Charged, Unlimited, Repeated, Exhausted, Error };
    // Charges one translation: the free daily quota first, then packs; an unlimited membership
    // is not counted. A `logId` already charged for this account is not charged again.
    virtual ChargeResult Charge(AccountId id, const std::string& logId, int freeDaily,
                                const Clock& clock, Counts& counts) = 0;

    // Adds `nums` to the account's packs once per account; false in `granted` afterwards.
    virtual bool GrantGift(AccountId id, int nums, bool& granted) = 0;

    enum class ReportResult { Saved, DayCap, Error };
    // Stores a report of the account unless it stored `maxPerDay` on `clock.day` already.
    virtual ReportResult SaveReport(AccountId account, const std::string& device, int status,
                                    const std::string& body, int maxPerDay, const Clock& clock) = 0;

    // The value kept under `name`, shared by every instance on the database: the stored one, or
    // `fresh` stored now when there is none yet (the first writer wins). False on failure.
    virtual bool KeepSecret(const std::string& name, const std::string& fresh,
                            std::string& stored) = 0;

    // --- orders
    enum class OrderResult { Ok, Duplicate, NotFound, AlreadyPaid, AmountMismatch, Error };
    // Duplicate when the order number is taken.
    virtual OrderResult CreateOrder(const Order& order) = 0;
    virtual Found GetOrder(const std::string& orderNo, Order& out) = 0;
    // Marks an unpaid order paid and applies its good to the account, in one step: Ok once,
    // AlreadyPaid afterwards.
    virtual OrderResult PayOrder(const std::string& orderNo, std::int64_t amountFen,
                                 const std::string& paymentRef, const Clock& clock) = 0;

    // Drops what has expired: codes, QR states, sessions; reports and charges older than
    // `keepSince`, and the oldest reports beyond `maxReports`.
    virtual void Prune(const Clock& clock, std::int64_t keepSince, int maxReports) = 0;
};

}  // namespace backend
