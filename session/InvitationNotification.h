#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace session {

class NotificationService;

// The desktop notification that goes with an invitation dialog, so that the invitation
// is seen also where the dialog is not (under a full-screen window, on another
// workspace). Its "Aceitar" and "Ignorar" answer like the dialog's buttons and clicking
// it brings the dialog forward. It lives as long as the dialog is up: withdrawing it
// (or destroying this object) takes it off the desktop, also when the desktop has not
// yet said which notification it is.
class InvitationNotification : public QObject {
    Q_OBJECT
public:
    struct Answers {
        // The token is the desktop's permission to activate a window; it may be empty.
        std::function<void(const QString& token)> accept;
        std::function<void()> ignore;
        std::function<void(const QString& token)> bringForward;
    };

    InvitationNotification(NotificationService& service, Answers answers);
    ~InvitationNotification() override;

    // Posts the notification: `caption` as its title, `text` below it.
    void post(const QString& caption, const QString& text);
    void withdraw();

    static constexpr const char* acceptAction = "aceitar";
    static constexpr const char* ignoreAction = "ignorar";
    static constexpr const char* defaultAction = "default";

private:
    void actionInvoked(quint32 id, const QString& key);
    void activationToken(quint32 id, const QString& token);

    // Shared with the service's answer to the post, which may arrive after this object
    // is gone and must then withdraw what it posted.
    struct Posting {
        bool withdrawn = false; // by the program: its actions answer nothing
        bool dismissed = false; // by the desktop: nothing left to withdraw
        bool hasId = false;
        quint32 id = 0;
    };

    NotificationService& service_;
    Answers answers_;
    std::shared_ptr<Posting> posting_;
    QString token_;
};

} // namespace session
