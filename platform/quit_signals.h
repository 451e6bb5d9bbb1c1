#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP end the program in order: the handler only records the signal; the
// UI thread learns of it through a pipe and runs the normal shutdown.
class QuitSignals {
public:
    // Installs the handlers.
    QuitSignals();
    // Restores the default handlers.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // The last signal received, 0 for none.
    static int Received();
    // Once a Qt event loop can run: `onSignal(signal)` runs on the UI thread for every signal,
    // including one that arrived before.
    void Watch(std::function<void(int)> onSignal);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
