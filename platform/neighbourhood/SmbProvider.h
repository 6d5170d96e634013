#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QObject>
#include <chrono>
#include <memory>

// The workgroups and domains of Windows machines and Samba servers, and the computers in
// each, from the network's browse lists through the SMB client library.
namespace platform {

class SmbProvider : public NetworkProvider {
public:
    explicit SmbProvider(std::chrono::milliseconds bound = std::chrono::milliseconds(3000));
    ~SmbProvider() override;

    std::string providerName() const override { return smbProviderName; }

    // The network record gives the workgroups and domains (bare names), a domain its
    // computers ("\\NAME"). Shares and printers keep their types, so a scan passes over
    // them. None when the browse list cannot be had. Each ask runs the SMB browsing helper
    // as a process of its own, read as it writes and killed at the bound.
    bool ask(const NetResource& container, std::function<void(Answer)> answered) override;

private:
    std::chrono::milliseconds bound_;
    // The helpers' runs that have not answered yet.
    std::unique_ptr<QObject> runs_;
};

} // namespace platform
