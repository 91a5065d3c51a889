#include "app/window_texts.h"

namespace troz {

std::string FailureText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

}  // namespace troz
