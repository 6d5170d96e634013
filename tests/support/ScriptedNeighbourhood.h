#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

namespace testsupport {

using platform::NetResource;
using platform::networkRecord;

// Records as providers give them.
NetResource domainRecord(const std::string& name, const std::string& provider);
NetResource serverRecord(const std::string& name, const std::string& provider); // adds "\\"
NetResource shareRecord(const std::string& remoteName, const std::string& provider);
NetResource printerRecord(const std::string& remoteName, const std::string& provider,
                          std::uint32_t displayType);

// A provider that answers from a script: the children of each container by its remote
// name ("" for the provider's network record), none for a container that cannot be
// opened. Each answer may come after a delay, or only once released.
class ScriptedProvider : public platform::NetworkProvider {
public:
    explicit ScriptedProvider(std::string name) : name_(std::move(name)) {}

    // Under the lock: a network's answer may be asked for on a thread of its own while a
    // test changes the script.
    void script(const std::string& container, std::optional<std::vector<NetResource>> children) {
        std::lock_guard lock(mutex_);
        script_[container] = std::move(children);
    }
    void setDelay(std::chrono::milliseconds delay) { delay_ = delay; }
    // Every answer waits until release().
    void holdAnswers() { held_ = true; }
    // Only this container's answer waits until release().
    void holdAnswer(const std::string& container) {
        std::lock_guard lock(mutex_);
        heldContainers_.insert(container);
    }
    // Asking for this container throws, as a provider's library may.
    void throwFor(const std::string& container) {
        std::lock_guard lock(mutex_);
        throwing_.insert(container);
    }
    void release();

    int calls() const { return calls_; }
    int answered() const { return answered_; }

    std::string providerName() const override { return name_; }
    std::optional<std::vector<NetResource>> children(const NetResource& container) override;

private:
    std::string name_;
    std::map<std::string, std::optional<std::vector<NetResource>>> script_;
    std::chrono::milliseconds delay_{0};
    std::atomic<int> calls_{0};
    std::atomic<int> answered_{0};
    bool held_ = false;
    std::set<std::string> heldContainers_;
    std::set<std::string> throwing_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
};

// A provider's answer for `container`, from ask() while this thread's event loop runs, or
// from children() for a provider that answers only so. For the test tools that walk a
// neighbourhood one container at a time.
platform::NetworkProvider::Answer answerOf(platform::NetworkProvider& provider,
                                           const NetResource& container);

class ScriptedNeighbourhood : public platform::SystemNeighbourhood {
public:
    explicit ScriptedNeighbourhood(
        std::vector<std::shared_ptr<platform::NetworkProvider>> providers)
        : providers_(std::move(providers)) {}
    std::vector<std::shared_ptr<platform::NetworkProvider>> providers() const override {
        return providers_;
    }

private:
    std::vector<std::shared_ptr<platform::NetworkProvider>> providers_;
};

} // namespace testsupport
