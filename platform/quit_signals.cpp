#include "platform/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;

void OnSignal(int sig) {
    const int saved = errno;
    g_received = sig;
    const char byte = static_cast<char>(sig);
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals() {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : kSignals) {
        ::sigaction(sig, &sa, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    notifier_.reset();
    for (const int sig : kSignals) {
        ::signal(sig, SIG_DFL);
    }
    if (g_pipe[0] >= 0) {
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
}

int QuitSignals::Received() {
    return g_received;
}

void QuitSignals::Watch(std::function<void(int)> onSignal) {
    if (g_pipe[0] < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [onSignal] {
        char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) {
            onSignal(static_cast<unsigned char>(byte));
        }
    });
}
