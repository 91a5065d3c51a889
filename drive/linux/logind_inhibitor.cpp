// The login manager's block inhibitor: Inhibit returns a file descriptor, and the lock lasts
// until every copy of it is closed (when the process ends, at the latest).
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "drive/shutdown_inhibitor.h"

namespace troz {

namespace {

constexpr const char* kWhat = "shutdown:sleep:idle:handle-power-key:handle-suspend-key";
constexpr const char* kWho = "TROZFlash";
constexpr const char* kMode = "block";
// A login manager that does not answer must not keep the firmware from going out for long.
constexpr std::uint64_t kCallTimeoutUsec = 5'000'000;

class LogindInhibitor final : public ShutdownInhibitor {
public:
    ~LogindInhibitor() override { Release(); }

    bool Take(const std::string& why, std::string& error) override {
        Release();
        sd_bus* bus = nullptr;
        int result = sd_bus_open_system(&bus);
        if (result < 0) {
            error =
                std::string("the system bus cannot be reached (") + std::strerror(-result) + ")";
            return false;
        }
        sd_bus_message* call = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error busError{};  // SD_BUS_ERROR_NULL, without the C compound literal
        result = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                                "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "Inhibit");
        if (result >= 0) {
            result = sd_bus_message_append(call, "ssss", kWhat, kWho, why.c_str(), kMode);
        }
        if (result >= 0) {
            result = sd_bus_call(bus, call, kCallTimeoutUsec, &busError, &reply);
        }
        int descriptor = -1;
        if (result >= 0) {
            result = sd_bus_message_read(reply, "h", &descriptor);
        }
        if (result >= 0) {
            // The reply owns the descriptor it carries; ours must outlive it.
            held_ = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
            if (held_ < 0) {
                result = -errno;
            }
        }
        if (result < 0) {
            error = std::string("the login manager refused the inhibitor (") +
                    (busError.message != nullptr ? busError.message : std::strerror(-result)) + ")";
        }
        sd_bus_error_free(&busError);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_flush_close_unref(bus);
        return result >= 0;
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
