#pragma once

#include "net/SocketException.h"

#include <functional>
#include <string>

namespace testsupport {

// The message of the socket error `f` raises, or "<nothing raised>".
inline std::string raisedText(const std::function<void()>& f) {
    try {
        f();
    } catch (const net::ESocketException& e) {
        return e.what();
    }
    return "<nothing raised>";
}

} // namespace testsupport
