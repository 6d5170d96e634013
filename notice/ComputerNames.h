#pragma once

#include <string>

// The names this computer goes by in mailslot datagrams.
namespace notice {

// The host name cut to a NetBIOS name's length and upper-cased.
std::string computerNetbiosName(const std::string& hostName);

// The `workgroup` of the [global] section of a Samba configuration file, upper-cased;
// "WORKGROUP" when the file or the setting is missing.
std::string sambaWorkgroup(const std::string& configPath = "/etc/samba/smb.conf");

} // namespace notice
