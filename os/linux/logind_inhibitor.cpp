// The login manager's block inhibitor: Inhibit returns a file descriptor, and the lock lasts
// until every copy of it is closed (when the process ends, at the latest).
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "os/shutdown_inhibitor.h"

namespace troz {

namespace {

constexpr const char* kWhat = "shutdown:sleep:idle:handle-power-key:handle-suspend-key";
constexpr const char* kWho = "TROZFlash";
constexpr const char* kMode = "block";
// A bus or a login manager that does not answer must not keep the firmware from going out
// for long: connecting, authenticating and the call together get this long.
constexpr std::uint64_t kExchangeTimeoutUsec = 3'000'000;
constexpr std::uint64_t kUsecPerSecond = 1'000'000;

std::uint64_t MonotonicUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kUsecPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

// The one exchange with the login manager: the reply's descriptor (a copy of it), or -1 with
// the reason.
struct InhibitExchange {
    bool answered = false;
    int descriptor = -1;
    std::string error;
};

int OnReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*unused*/) {
    auto& exchange = *static_cast<InhibitExchange*>(userdata);
    exchange.answered = true;
    if (const sd_bus_error* failure = sd_bus_message_get_error(reply); failure != nullptr) {
        exchange.error = std::string("the login manager refused the inhibitor (") +
                         (failure->message != nullptr ? failure->message : failure->name) + ")";
        return 0;
    }
    int descriptor = -1;
    int result = sd_bus_message_read(reply, "h", &descriptor);
    if (result >= 0) {
        // The reply owns the descriptor it carries; ours must outlive it.
        exchange.descriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
        result = exchange.descriptor < 0 ? -errno : 0;
    }
    if (result < 0) {
        exchange.error =
            std::string("the login manager refused the inhibitor (") + std::strerror(-result) + ")";
    }
    return 0;
}

// Runs the connection until the reply has come or the deadline has passed: sd_bus_call's own
// time-out starts only once the bus has let the client in, so it alone is not bounded.
void RunUntilAnswered(sd_bus* bus, InhibitExchange& exchange, std::uint64_t deadline) {
    while (!exchange.answered) {
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) {
            exchange.error =
                std::string("the system bus cannot be reached (") + std::strerror(-processed) + ")";
            return;
        }
        if (processed > 0) {
            continue;
        }
        const std::uint64_t now = MonotonicUsec();
        if (now >= deadline) {
            exchange.error = "the system bus did not answer within " +
                             std::to_string(kExchangeTimeoutUsec / kUsecPerSecond) + " s";
            return;
        }
        const int waited = sd_bus_wait(bus, deadline - now);
        if (waited < 0 && waited != -EINTR) {
            exchange.error =
                std::string("the system bus cannot be reached (") + std::strerror(-waited) + ")";
            return;
        }
    }
}

class LogindInhibitor final : public ShutdownInhibitor {
public:
    ~LogindInhibitor() override { Release(); }

    bool Take(const std::string& why, std::string& error) override {
        Release();
        const std::uint64_t deadline = MonotonicUsec() + kExchangeTimeoutUsec;
        sd_bus* bus = nullptr;
        int result = sd_bus_open_system(&bus);
        if (result < 0) {
            error =
                std::string("the system bus cannot be reached (") + std::strerror(-result) + ")";
            return false;
        }
        sd_bus_message* call = nullptr;
        sd_bus_slot* slot = nullptr;
        InhibitExchange exchange;
        result = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                                "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "Inhibit");
        if (result >= 0) {
            result = sd_bus_message_append(call, "ssss", kWhat, kWho, why.c_str(), kMode);
        }
        if (result >= 0) {
            result = sd_bus_call_async(bus, &slot, call, OnReply, &exchange, kExchangeTimeoutUsec);
        }
        if (result >= 0) {
            RunUntilAnswered(bus, exchange, deadline);
        } else {
            exchange.error = std::string("the login manager refused the inhibitor (") +
                             std::strerror(-result) + ")";
        }
        sd_bus_slot_unref(slot);
        sd_bus_message_unref(call);
        // Closed without flushing: a bus that does not read must not hold the close either.
        sd_bus_close_unref(bus);
        held_ = exchange.descriptor;
        error = exchange.error;
        return held_ >= 0;
    }

    void Release() override {
        if (held_ >= 0) {
            close(held_);
            held_ = -1;
        }
    }

private:
    int held_ = -1;
};

}  // namespace

std::unique_ptr<ShutdownInhibitor> MakeSystemShutdownInhibitor(std::intptr_t) {
    return std::make_unique<LogindInhibitor>();
}

}  // namespace troz
