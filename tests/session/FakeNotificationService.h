#pragma once

#include "session/NotificationService.h"

#include <functional>
#include <vector>

// A notification service that keeps what it was asked. Ids are handed out when the test
// says so (answer()), as a desktop answers a post later; a service that never answers is
// a desktop without one.
class FakeNotificationService : public session::NotificationService {
public:
    struct Posted {
        session::NotificationRequest request;
        std::function<void(quint32)> posted;
        quint32 id = 0;
    };

    void notify(const session::NotificationRequest& request,
                std::function<void(quint32)> posted) override {
        posts.push_back(Posted{request, std::move(posted), 0});
        if (answerAtOnce) answer(posts.size() - 1);
    }
    void close(quint32 id) override { closes.push_back(id); }

    // The desktop gives post number `index` its id.
    void answer(std::size_t index) {
        posts[index].id = nextId++;
        posts[index].posted(posts[index].id);
    }

    bool answerAtOnce = true;
    quint32 nextId = 41;
    std::vector<Posted> posts;
    std::vector<quint32> closes;
};
