#include "tests/support/ScriptedNeighbourhood.h"

#include <QEventLoop>
#include <QTimer>
#include <stdexcept>

namespace testsupport {

using namespace platform;

NetResource domainRecord(const std::string& name, const std::string& provider) {
    return containerRecord(RESOURCEDISPLAYTYPE_DOMAIN, name, provider);
}

NetResource serverRecord(const std::string& name, const std::string& provider) {
    return containerRecord(RESOURCEDISPLAYTYPE_SERVER, "\\\\" + name, provider);
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
        return std::nullopt;
    loop.exec();
    return answer ? std::move(*answer) : std::nullopt;
}

bool ScriptedProvider::ask(const NetResource& container, std::function<void(Answer)> answered) {
    ++calls_;
    const std::string key = container.dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK
                                ? std::string()
                                : container.lpRemoteName.value_or(std::string());
    if (throwing_.count(key)) throw std::runtime_error("the provider's library failed");
    if ((held_ || heldContainers_.count(key)) && !isReleased_) {
        waiting_.emplace_back(key, std::move(answered));
        return true;
    }
    QTimer::singleShot(delay_, &context_,
                       [this, key, answered = std::move(answered)] { give(key, answered); });
    return true;
}

void ScriptedProvider::release() {
    isReleased_ = true;
    for (auto& [key, answered] : std::exchange(waiting_, {}))
        QTimer::singleShot(0, &context_, [this, key = key, answered = std::move(answered)] {
            give(key, answered);
        });
}

void ScriptedProvider::give(const std::string& container,
                            const std::function<void(Answer)>& answered) {
    ++answered_;
    const auto found = script_.find(container);
    answered(found == script_.end() ? Answer(std::vector<NetResource>{}) : found->second);
}

} // namespace testsupport
