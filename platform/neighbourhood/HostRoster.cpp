#include "platform/neighbourhood/HostRoster.h"

#include <algorithm>

namespace platform {

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool holds(const std::vector<std::string>& names, const std::string& name) {
    const std::string key = lowered(name);
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& known) { return lowered(known) == key; });
}

} // namespace

void HostRoster::add(std::uint32_t sender, const std::vector<mdns::ServiceHost>& hosts) {
    for (const mdns::ServiceHost& host : hosts) {
        const bool own =
            std::find(host.addresses.begin(), host.addresses.end(), sender) != host.addresses.end();
        if (own ? ownCount_ >= maxOwn : othersCount_ >= maxOthers) continue;
        const auto found = senderIndex_.find(sender);
        Sender* entry = found == senderIndex_.end() ? nullptr : &senders_[found->second];
        std::vector<std::string>* list = nullptr;
        if (entry) list = own ? &entry->own : &entry->others;
        if (list && (holds(*list, host.name) ||
                     list->size() >= (own ? maxOwnPerSender : maxOthersPerSender)))
            continue;
        if (!entry) {
            // A sender is remembered only with a host it was let add: the senders are
            // no more than the hosts kept.
            senderIndex_.emplace(sender, senders_.size());
            entry = &senders_.emplace_back();
            list = own ? &entry->own : &entry->others;
        }
        list->push_back(host.name);
        ++(own ? ownCount_ : othersCount_);
    }
}

std::vector<std::string> HostRoster::ownHosts() const {
    std::vector<std::string> hosts;
    for (const Sender& sender : senders_)
        hosts.insert(hosts.end(), sender.own.begin(), sender.own.end());
    return hosts;
}

std::vector<std::string> HostRoster::othersHosts() const {
    std::vector<std::string> hosts;
    for (std::size_t round = 0; round < maxOthersPerSender; ++round)
        for (const Sender& sender : senders_)
            if (round < sender.others.size()) hosts.push_back(sender.others[round]);
    return hosts;
}

} // namespace platform
