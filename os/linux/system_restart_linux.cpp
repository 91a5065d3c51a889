#include <systemd/sd-bus.h>

#include <cstring>

#include "os/system_restart.h"

namespace troz {

bool RequestSystemRestart(std::string& error) {
    sd_bus* bus = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result < 0) {
        error = std::string("the login manager cannot be reached (") + std::strerror(-result) + ")";
        return false;
    }
    sd_bus_error busError{};  // SD_BUS_ERROR_NULL, without the C compound literal
    sd_bus_message* reply = nullptr;
    // interactive = true lets the login manager ask for authorisation where its policy wants it.
    result =
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "Reboot", &busError, &reply, "b", 1);
    if (result < 0) {
        error = busError.message != nullptr ? busError.message : std::strerror(-result);
    }
    sd_bus_error_free(&busError);
    sd_bus_message_unref(reply);
    sd_bus_unref(bus);
    return result >= 0;
}

}  // namespace troz
