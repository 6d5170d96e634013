#include "tests/support/ScriptedNeighbourhood.h"

#include <QEventLoop>
#include <stdexcept>
#include <thread>

namespace testsupport {

using namespace platform;

NetResource domainRecord(const std::string& name, const std::string& provider) {
    NetResource record;
    record.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
    record.dwUsage = RESOURCEUSAGE_CONTAINER;
    record.lpRemoteName = name;
    record.lpProvider = provider;
    return record;
}

NetResource serverRecord(const std::string& name, const std::string& provider) {
    NetResource record;
    record.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
    record.dwUsage = RESOURCEUSAGE_CONTAINER;
    record.lpRemoteName = "\\\\" + name;
    record.lpProvider = provider;
    return record;
}

NetResource shareRecord(const std::string& remoteName, const std::string& provider) {
    NetResource record;
    record.dwType = RESOURCETYPE_DISK;
    record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
    record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
    record.lpRemoteName = remoteName;
    record.lpProvider = provider;
    return record;
}

NetResource printerRecord(const std::string& remoteName, const std::string& provider,
                          std::uint32_t displayType) {
    NetResource record;
    record.dwType = RESOURCETYPE_PRINT;
    record.dwDisplayType = displayType;
    record.dwUsage = RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER;
    record.lpRemoteName = remoteName;
    record.lpProvider = provider;
    return record;
}

platform::NetworkProvider::Answer answerOf(platform::NetworkProvider& provider,
                                           const NetResource& container) {
    QEventLoop loop;
    std::optional<platform::NetworkProvider::Answer> answer;
    if (!provider.ask(container, [&](platform::NetworkProvider::Answer given) {
            answer = std::move(given);
            loop.quit();
        }))
        return provider.children(container);
    loop.exec();
    return answer ? std::move(*answer) : std::nullopt;
}

void ScriptedProvider::release() {
    std::lock_guard lock(mutex_);
    isReleased_ = true;
    released_.notify_all();
}

std::optional<std::vector<NetResource>> ScriptedProvider::children(const NetResource& container) {
    ++calls_;
    const std::string key = container.dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK
                                ? std::string()
                                : container.lpRemoteName.value_or(std::string());
    if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
    std::unique_lock lock(mutex_);
    if (held_ || heldContainers_.count(key)) released_.wait(lock, [this] { return isReleased_; });
    ++answered_;
    if (throwing_.count(key)) throw std::runtime_error("the provider's library failed");
    const auto found = script_.find(key);
    if (found == script_.end()) return std::vector<NetResource>{};
    return found->second;
}

} // namespace testsupport
