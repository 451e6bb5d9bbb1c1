#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "logic/user_phone.h"  // IUser
#include "protocol/backend_protocol.h"

// Sign-in by scanning a QR code with a phone app. A worker thread asks the back-end for a login
// state and the address of the QR page, opens that page in the browser, then polls the back-end
// until it hands out an access token for the state. The worker only stores the token; the user
// manager's idle step picks it up through IUser. The QQ and WeChat providers differ only in their
// paths.
class UserQr : public IUser {
public:
    struct Paths {
        velmora::protocol::Endpoint qrInfo;  // GET: "state" and "url"
        velmora::protocol::Endpoint poll;    // POST {"state"}: "accessToken" once scanned
        const char* threadName;
    };

    static constexpr std::chrono::milliseconds kPollInterval{2000};
    static constexpr std::int32_t kRequestTimeoutMs = 2000;

    // Starts a worker (after stopping an earlier one) unless a token is already held.
    void Login();
    // Ends the worker and waits for it.
    void Stop();
    // Logout, the other provider's success or a failed token login: the worker ends at its next
    // check and the token is dropped.
    void Cancel();

    // Slot 0: true when a token is held; the finished worker is joined first.
    bool HasToken() override;
    // Slot 1.
    std::string GetToken() override;

    static bool ParseQrUrl(const std::string& response, std::string& state, std::string& url);
    static bool ParseAccessToken(const std::string& response, std::string& token);

    // The wait between two polls; tests shorten it.
    void SetPollInterval(std::chrono::milliseconds interval);

protected:
    explicit UserQr(const Paths& paths);
    ~UserQr();
    UserQr(const UserQr&) = delete;
    UserQr& operator=(const UserQr&) = delete;

private:
    void Worker();
    // The worker's steps up to the token; empty when stopped or failed.
    std::string Run();
    bool Stopped(const char* what);
    // Sets the stop flag, wakes the worker and joins it. Control lock held.
    void StopLocked();

    const Paths paths_;
    std::mutex controlMutex_;             // starting and joining the worker; taken first
    std::recursive_mutex providerMutex_;  // token_; taken before workerMutex_
    std::atomic<bool> stop_{true};        // written under providerMutex_ or workerMutex_
    std::mutex workerMutex_;
    std::condition_variable wake_;
    std::thread worker_;
    std::string token_;
    std::atomic<std::int64_t> pollIntervalMs_{kPollInterval.count()};
};
