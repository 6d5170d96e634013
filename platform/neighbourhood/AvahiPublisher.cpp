#include "platform/neighbourhood/AvahiPublisher.h"

#include "platform/neighbourhood/AvahiEventLoopPoll.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/timeval.h>

namespace platform {
namespace {

// How long to wait before a client is made again while the system bus is away.
constexpr unsigned busRetrySeconds = 5;

} // namespace

std::string falavoxServiceName(const std::string& hostName) {
    std::string name = "Falavox " + hostName;
    if (name.size() <= maxServiceNameBytes) return name;
    // Cut back to the start of a character, never inside one.
    std::size_t end = maxServiceNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    name.resize(end);
    return name;
}

struct AvahiPublisher::Callbacks {
    static void clientState(AvahiClient* client, AvahiClientState state, void* userdata) {
        auto* self = static_cast<AvahiPublisher*>(userdata);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->announce(client);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The daemon is renaming the host: the service goes again once it runs.
            if (self->group_ != nullptr) avahi_entry_group_reset(self->group_);
            break;
        case AVAHI_CLIENT_CONNECTING:
            // The daemon went away; the client waits for it to come back, and the service
            // is announced anew then, on a group of the new daemon's.
            self->forgetGroup();
            break;
        case AVAHI_CLIENT_FAILURE:
            self->forgetGroup();
            // The daemon (or the bus) went away under the client. The client cannot be
            // freed inside its own callback, so a fresh one, which waits for the daemon to
            // come back, is made on the poll's next turn.
            if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) self->reconnectLater(0);
            break;
        }
    }

    static void groupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata) {
        auto* self = static_cast<AvahiPublisher*>(userdata);
        if (state != AVAHI_ENTRY_GROUP_COLLISION) return;
        // Another computer has the service's name: take the next one ("name #2") and
        // announce again.
        self->takeAlternativeName();
        avahi_entry_group_reset(group);
        self->announce(avahi_entry_group_get_client(group));
    }

    static void reconnectDue(AvahiTimeout*, void* userdata) {
        auto* self = static_cast<AvahiPublisher*>(userdata);
        self->forgetGroup();
        if (self->client_ != nullptr) {
            avahi_client_free(self->client_);
            self->client_ = nullptr;
        }
        if (!self->connect()) self->reconnectLater(busRetrySeconds);
    }
};

AvahiPublisher::AvahiPublisher(std::uint16_t port)
    : port_(port), poll_(std::make_unique<AvahiEventLoopPoll>()) {
    // A computer without a system bus announces nothing, and is not polled for one.
    if (!connect()) poll_.reset();
}

AvahiPublisher::~AvahiPublisher() {
    if (poll_ == nullptr) return;
    if (reconnect_ != nullptr) poll_->get()->timeout_free(reconnect_);
    // Freeing the client withdraws the service and frees its group.
    if (client_ != nullptr) avahi_client_free(client_);
}

bool AvahiPublisher::connect() {
    int error = 0;
    // With the no-fail flag the client waits for a daemon that is missing or restarting
    // instead of failing; it fails only when there is no system bus to wait on.
    client_ =
        avahi_client_new(poll_->get(), AVAHI_CLIENT_NO_FAIL, Callbacks::clientState, this, &error);
    return client_ != nullptr;
}

void AvahiPublisher::announce(AvahiClient* client) {
    if (serviceName_.empty()) {
        const char* host = avahi_client_get_host_name(client);
        serviceName_ = falavoxServiceName(host != nullptr ? host : "");
    }
    if (group_ == nullptr) group_ = avahi_entry_group_new(client, Callbacks::groupState, this);
    if (group_ == nullptr || !avahi_entry_group_is_empty(group_)) return;
    // A name already taken on this host is found at once; one taken elsewhere comes back
    // later as the group's collision. Each try takes the next alternative name.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int added = avahi_entry_group_add_service(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
            serviceName_.c_str(), falavoxServiceType, nullptr, nullptr, port_, nullptr);
        if (added == AVAHI_ERR_COLLISION) {
            takeAlternativeName();
            avahi_entry_group_reset(group_);
            continue;
        }
        if (added == AVAHI_OK) avahi_entry_group_commit(group_);
        return;
    }
}

void AvahiPublisher::takeAlternativeName() {
    char* next = avahi_alternative_service_name(serviceName_.c_str());
    if (next != nullptr) {
        serviceName_ = next;
        avahi_free(next);
    }
}

void AvahiPublisher::forgetGroup() {
    if (group_ != nullptr) {
        avahi_entry_group_free(group_);
        group_ = nullptr;
    }
}

void AvahiPublisher::reconnectLater(unsigned seconds) {
    const AvahiPoll* api = poll_->get();
    timeval due{};
    avahi_elapse_time(&due, seconds * 1000, 0);
    if (reconnect_ != nullptr)
        api->timeout_update(reconnect_, &due);
    else
        reconnect_ = api->timeout_new(api, &due, Callbacks::reconnectDue, this);
}

} // namespace platform
