#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <chrono>

// The workgroups and domains of Windows machines and Samba servers, and the computers in
// each, from the network's browse lists through the SMB client library.
namespace platform {

class SmbProvider : public NetworkProvider {
public:
    explicit SmbProvider(std::chrono::milliseconds bound = std::chrono::milliseconds(3000))
        : bound_(bound) {}

    std::string providerName() const override { return smbProviderName; }

    // The network record gives the workgroups and domains (bare names), a domain its
    // computers ("\\NAME"). Shares and printers keep their types, so a scan passes over
    // them. None when the browse list cannot be had.
    std::optional<std::vector<NetResource>> children(const NetResource& container) override;

private:
    std::chrono::milliseconds bound_;
};

} // namespace platform
