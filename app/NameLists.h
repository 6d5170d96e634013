#pragma once

#include <string>
#include <vector>

namespace app {

// A computer of the network and where it belongs: the position of its domain or
// workgroup in the domain list, or -1 when it belongs to none that is listed.
struct ComputerEntry {
    std::string name; // Windows-1252 bytes, without the leading backslashes
    int parent = -1;
    bool operator==(const ComputerEntry&) const = default;
};

// What the last network scan found, in the order the network gave it; the Chat submenu
// is built from these.
struct NameLists {
    std::vector<std::string> domains;
    std::vector<ComputerEntry> computers;

    void clear() {
        domains.clear();
        computers.clear();
    }
};

} // namespace app
