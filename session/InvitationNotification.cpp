#include "session/InvitationNotification.h"

#include "session/AskChatCountdown.h"
#include "session/NotificationService.h"

#include <utility>

namespace session {

InvitationNotification::InvitationNotification(NotificationService& service, Answers answers)
    : service_(service), answers_(std::move(answers)) {
    connect(&service_, &NotificationService::actionInvoked, this,
            &InvitationNotification::actionInvoked);
    connect(&service_, &NotificationService::activationToken, this,
            &InvitationNotification::activationToken);
    connect(&service_, &NotificationService::closed, this, [this](quint32 id) {
        // Gone from the desktop: the dialog goes on, and there is nothing to withdraw. A
        // desktop may close a notification on the click before it reports the action,
        // so its actions are still taken.
        if (posting_ && posting_->hasId && posting_->id == id) posting_->dismissed = true;
    });
}

InvitationNotification::~InvitationNotification() {
    withdraw();
}

void InvitationNotification::post(const QString& caption, const QString& text) {
    if (posting_) return;
    posting_ = std::make_shared<Posting>();
    NotificationRequest request;
    request.summary = caption;
    request.body = text;
    request.actions = {QString::fromLatin1(defaultAction), QStringLiteral("Convite ao Chat..."),
                       QString::fromLatin1(acceptAction),  QStringLiteral("Aceitar"),
                       QString::fromLatin1(ignoreAction),  QStringLiteral("Ignorar")};
    request.critical = true;
    // The dialog's own time-out withdraws it; this only bounds a notification that
    // outlives the program.
    request.expireMs = AskChatCountdown::tickCount * AskChatCountdown::intervalMs;
    NotificationService* service = &service_;
    service_.notify(request, [posting = posting_, service](quint32 id) {
        posting->hasId = true;
        posting->id = id;
        if (posting->withdrawn) service->close(id);
    });
}

void InvitationNotification::withdraw() {
    if (!posting_ || posting_->withdrawn) return;
    posting_->withdrawn = true;
    if (posting_->hasId && !posting_->dismissed) service_.close(posting_->id);
}

void InvitationNotification::activationToken(quint32 id, const QString& token) {
    if (posting_ && posting_->hasId && posting_->id == id) token_ = token;
}

void InvitationNotification::actionInvoked(quint32 id, const QString& key) {
    if (!posting_ || !posting_->hasId || posting_->id != id || posting_->withdrawn) return;
    const QString token = std::exchange(token_, QString());
    if (key == QLatin1String(acceptAction)) {
        if (answers_.accept) answers_.accept(token);
    } else if (key == QLatin1String(ignoreAction)) {
        if (answers_.ignore) answers_.ignore();
    } else if (key == QLatin1String(defaultAction)) {
        if (answers_.bringForward) answers_.bringForward(token);
    }
}

} // namespace session
