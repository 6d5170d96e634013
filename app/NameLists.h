#pragma once

#include <cstddef>
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

    // Whatever the network sends, the lists hold no more than this, so that one machine
    // that answers for thousands of made-up computers can neither grow the program's
    // memory nor make the Chat submenu too slow to open. A domain holds two subnets of
    // 254 computers; a scan, four such domains; more workgroups than any real network has.
    static constexpr std::size_t maxDomains = 256;
    static constexpr std::size_t maxComputersPerDomain = 512;
    static constexpr std::size_t maxComputers = 2048;

    // Appends a name unless its list (or, for a computer, its domain) is full; false
    // when it was not appended.
    bool addDomain(std::string name) {
        if (domains.size() >= maxDomains) return false;
        domains.push_back(std::move(name));
        return true;
    }
    bool addComputer(ComputerEntry computer) {
        const std::size_t slot = static_cast<std::size_t>(computer.parent + 1);
        if (computers.size() >= maxComputers) return false;
        if (perDomain_.size() <= slot) perDomain_.resize(slot + 1);
        if (perDomain_[slot] >= maxComputersPerDomain) return false;
        ++perDomain_[slot];
        computers.push_back(std::move(computer));
        return true;
    }

    void clear() {
        domains.clear();
        computers.clear();
        perDomain_.clear();
    }

private:
    // How many computers addComputer appended to each domain (slot 0: to none).
    std::vector<std::size_t> perDomain_;
};

} // namespace app
