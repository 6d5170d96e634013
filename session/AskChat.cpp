#include "session/AskChat.h"

#include "platform/system/Sound.h"
#include "session/AskChatCountdown.h"
#include "session/DBusNotificationService.h"
#include "session/FrmAskchat.h"
#include "ui/ApplicationTitle.h"
#include "ui/ShowForm.h"

#include <QApplication>
#include <QPointer>

namespace session {

AskChatHost::~AskChatHost() = default;

AskChatData& askChatData() {
    static AskChatData data;
    return data;
}

namespace askchat {
namespace {

platform::SoundPlayer*& injectedPlayer() {
    static platform::SoundPlayer* player = nullptr;
    return player;
}

std::function<void()>& injectedBeep() {
    static std::function<void()> beep;
    return beep;
}

int& injectedTickInterval() {
    static int milliseconds = 0;
    return milliseconds;
}

std::function<std::chrono::steady_clock::time_point()>& injectedClock() {
    static std::function<std::chrono::steady_clock::time_point()> clock;
    return clock;
}

NotificationService*& injectedNotificationService() {
    static NotificationService* service = nullptr;
    return service;
}

std::function<void(TfrmAskchat&)>& hook() {
    static std::function<void(TfrmAskchat&)> shown;
    return shown;
}

} // namespace

void setSoundPlayer(platform::SoundPlayer* player) {
    injectedPlayer() = player;
}

platform::SoundPlayer& soundPlayer() {
    if (injectedPlayer()) return *injectedPlayer();
    static platform::PulseSoundPlayer pulse;
    return pulse;
}

void setBeep(std::function<void()> beep) {
    injectedBeep() = std::move(beep);
}

void beep() {
    if (injectedBeep())
        injectedBeep()();
    else
        QApplication::beep();
}

void setTickInterval(int milliseconds) {
    injectedTickInterval() = milliseconds;
}

int tickInterval() {
    return injectedTickInterval() > 0 ? injectedTickInterval() : AskChatCountdown::intervalMs;
}

void setClock(std::function<std::chrono::steady_clock::time_point()> clock) {
    injectedClock() = std::move(clock);
}

std::chrono::steady_clock::time_point now() {
    return injectedClock() ? injectedClock()() : std::chrono::steady_clock::now();
}

void setNotificationService(NotificationService* service) {
    injectedNotificationService() = service;
}

NotificationService& notificationService() {
    if (injectedNotificationService()) return *injectedNotificationService();
    // Made on the first invitation and owned by the application, so it is gone before
    // the bus connection it uses.
    static QPointer<NotificationService> sessionBus;
    if (!sessionBus) sessionBus = new DBusNotificationService(QDBusConnection::sessionBus(), qApp);
    return *sessionBus;
}

void setShownHook(std::function<void(TfrmAskchat&)> shown) {
    hook() = std::move(shown);
}

const std::function<void(TfrmAskchat&)>& shownHook() {
    return hook();
}

} // namespace askchat

namespace {

// The one invitation dialog; empty while none exists.
QPointer<TfrmAskchat> frmAskchat;

} // namespace

bool AskChat(AskChatHost& host, const std::string& callerName, const std::string& invitationText) {
    AskChatData& data = askChatData();
    data.callerName = callerName;
    data.invitationText = invitationText;
    data.accepted = false;

    host.deactivateTrayIcon();
    // Returns when the dialog has closed; throws at once when one is already up.
    ui::showForm(frmAskchat, ui::ShowMode::Modal, [] { return new TfrmAskchat(); });
    host.activateTrayIcon();
    QApplication::setWindowIcon(host.applicationIcon());
    ui::setApplicationTitle(ui::programTitle());
    return data.accepted;
}

} // namespace session
