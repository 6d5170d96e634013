#pragma once

#include <QIcon>
#include <chrono>
#include <functional>
#include <string>

namespace platform {
class SoundPlayer;
}

// Asking the invited user whether to accept a caller's invitation.
namespace session {

class NotificationService;
class TfrmAskchat;

// What the invitation dialog needs of the program's main form.
class AskChatHost {
public:
    virtual ~AskChatHost();
    // The tray icon leaves the notification area while the dialog is up ...
    virtual void deactivateTrayIcon() = 0;
    // ... and comes back with its static icon, hint and menu afterwards.
    virtual void activateTrayIcon() = 0;
    // The icon the application shows again once the dialog has closed.
    virtual QIcon applicationIcon() const = 0;
};

// Plays the invitation sound, shows the invitation dialog modally and returns true
// when the user accepted. `callerName` and `invitationText` are Windows-1252 bytes;
// the text may be empty and may end in a CR. While a dialog is already up, throws
// ui::ModalWindowError and leaves that dialog running; the caller name and text kept
// for the dialog are replaced all the same and the tray icon is deactivated again (the
// running call brings it back).
bool AskChat(AskChatHost& host, const std::string& callerName, const std::string& invitationText);

// What AskChat keeps for the dialog, which does not exist yet when AskChat starts.
struct AskChatData {
    std::string callerName;
    std::string invitationText;
    bool accepted = false;
};
AskChatData& askChatData();

// Seams for tests and for a desktop without sound.
namespace askchat {

// The player of the invitation sound; nullptr puts back the PulseAudio player.
void setSoundPlayer(platform::SoundPlayer* player);
platform::SoundPlayer& soundPlayer();

// What sounds when the invitation sound cannot be played; empty puts back
// QApplication::beep().
void setBeep(std::function<void()> beep);
void beep();

// The countdown's tick in milliseconds, shortened by tests that let the real timer run
// the whole countdown; 0 puts back the 300 ms of the dialog.
void setTickInterval(int milliseconds);
int tickInterval();

// The clock that tells whether the dialog has been up long enough to take an answer;
// empty puts back the steady clock.
void setClock(std::function<std::chrono::steady_clock::time_point()> clock);
std::chrono::steady_clock::time_point now();

// Where the invitation's desktop notification is posted; nullptr puts back the session
// bus's notification service.
void setNotificationService(NotificationService* service);
NotificationService& notificationService();

// Called from the dialog's own event loop once it is on screen, so a test can answer it.
void setShownHook(std::function<void(TfrmAskchat&)> hook);
const std::function<void(TfrmAskchat&)>& shownHook();

} // namespace askchat

} // namespace session
