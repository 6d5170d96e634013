#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QObject>
#include <chrono>
#include <map>
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
// opened. Each answer comes on the event loop, after a delay, or only once released.
class ScriptedProvider : public platform::NetworkProvider {
public:
    explicit ScriptedProvider(std::string name) : name_(std::move(name)) {}

    void script(const std::string& container, std::optional<std::vector<NetResource>> children) {
        script_[container] = std::move(children);
    }
    void setDelay(std::chrono::milliseconds delay) { delay_ = delay; }
    // Every answer waits until release().
    void holdAnswers() { held_ = true; }
    // Only this container's answer waits until release().
    void holdAnswer(const std::string& container) { heldContainers_.insert(container); }
    // Asking for this container throws, as a provider's library may.
    void throwFor(const std::string& container) { throwing_.insert(container); }
    // Gives the answers held so far, and every later one at once.
    void release();

    int calls() const { return calls_; }
    int answered() const { return answered_; }

    std::string providerName() const override { return name_; }
    bool ask(const NetResource& container, std::function<void(Answer)> answered) override;

private:
    void give(const std::string& container, const std::function<void(Answer)>& answered);

    std::string name_;
    std::map<std::string, std::optional<std::vector<NetResource>>> script_;
    std::chrono::milliseconds delay_{0};
    int calls_ = 0;
    int answered_ = 0;
    bool held_ = false;
    std::set<std::string> heldContainers_;
    std::set<std::string> throwing_;
    bool isReleased_ = false;
    std::vector<std::pair<std::string, std::function<void(Answer)>>> waiting_;
    // Ends with the provider, and with it every answer still on its way.
    QObject context_;
};

// A provider's answer for `container`, from ask() while this thread's event loop runs. For
// the test tools that walk a neighbourhood one container at a time.
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
