#pragma once

#include <stdexcept>
#include <string>

namespace net {

// The error the socket layer raises. Its message is UTF-8; callers recognise a case by
// its first characters, such as "Error 10048".
class ESocketException : public std::runtime_error {
public:
    explicit ESocketException(const std::string& message) : std::runtime_error(message) {}
};

} // namespace net
