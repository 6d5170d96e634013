#pragma once

#include <stop_token>
#include <string>

// The messenger-service notice: a pop-up message to a computer's user through the SMB
// message service, which Samba servers (and Windows computers that still run a messenger
// service) accept.
namespace notice {

// Sends Text (Windows-1252) to Recipient, a computer name, through Samba's client found on
// the PATH at the moment of the call. True only when the server accepted the message;
// false when the client is not installed (nothing is run), the server cannot be reached
// or refuses, or no answer comes within a few seconds (the client is then killed).
// Blocking, for seconds when the name is unknown or the server silent: it runs on a
// worker thread, and a stop requested through `stop` ends it early (false) with its
// client killed.
bool SendNetMessage(const std::string& Recipient, const std::string& Text,
                    std::stop_token stop = {});

// How long a send may take before its client is killed.
inline constexpr int netMessageTimeoutMs = 5000;

} // namespace notice
