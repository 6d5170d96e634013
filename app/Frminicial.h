#pragma once

#include "app/FrmAbout.h"
#include "app/NameLists.h"
#include "app/NetworkScan.h"
#include "app/TitleBandMenu.h"
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "chat/FrmChat.h"
#include "config/FrmConfiguracao.h"
#include "net/EventSocket.h"
#include "notice/Messenger.h"
#include "notice/NetMessageQueue.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"
#include "session/AskChat.h"
#include "session/ChatSession.h"
#include "session/Protocol.h"
#include "settings/SettingsOwner.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

namespace app {

// Where the program listens for callers; its port is also the one invitations go to.
// The program itself always uses the default; tests give a loopback address and a free
// port.
struct ListenEndpoint {
    std::string Addr = std::string(session::listenAddr);
    std::string Port = std::string(session::sessionPortText);
};

// The exit code of a copy that could not listen (most often: another copy runs).
inline constexpr int listenFailedExitCode = 1;

// The main form: never shown, alive for the whole run. It owns the tray icon and its
// menu, the three sockets, the settings, the local user's name and the chat session,
// runs start-up (FormCreate) and the tray commands, and opens the program's windows.
class Tfrminicial : public QObject, public session::SessionHost, public session::AskChatHost {
    Q_OBJECT
public:
    explicit Tfrminicial(ListenEndpoint endpoint = {},
                         TrayIcon::Backend trayBackend = TrayIcon::Backend::Automatic,
                         QObject* parent = nullptr);
    Tfrminicial(const Tfrminicial&) = delete;
    Tfrminicial& operator=(const Tfrminicial&) = delete;
    ~Tfrminicial() override;

    // The network neighbourhood the scans list, kept for the whole run. Without one the
    // scans find nothing; the program gives it the system's, tests a scripted one.
    void setNeighbourhood(std::shared_ptr<platform::SystemNeighbourhood> neighbourhood);

    // Start-up, in this order: settings, tray icon, user name, first network scan, with
    // the listener opened by StartupScanBound while the scan goes on. When the listener cannot be
    // opened the user is told and the program is terminated (see Terminated()).
    void FormCreate();

    // Opens SrvSocket on the listen endpoint; false on any error.
    bool Listen();

    // True once start-up decided that the program must end, with the code to end with.
    bool Terminated() const { return terminated_; }
    int ExitCode() const { return exitCode_; }

    // Components, in the order the form declares them.
    TitleBandMenu menu1;
    QPixmap PicClip1; // the menu's glyphs: seven cells side by side
    QAction* mnuChat;
    QAction* N4;
    QAction* mnuRefresh;
    QAction* mnuOpcoes;
    QAction* N5;
    QAction* mnuSobre;
    QAction* N6;
    QAction* mnuFechar;
    TrayIcon TryIcon;
    net::TEventSocket TmpSocket;
    net::TEventSocket CliSocket;
    net::TEventSocket SrvSocket;
    QIcon Image2;
    notice::TMessenger Messenger1; // active only while a WinPopUp notice is written
    // Messenger-service notices, sent one at a time off the user-interface thread.
    notice::NetMessageQueue NetMessages;

    // The form's own fields.
    config::SettingsOwner SettingsOwner;
    int menu1Margin = 0; // width of the tray menu's title band, in pixels
    NameLists Lists;     // what the last network scan found
    std::string UserName;
    bool NtFamily = true;
    session::ChatSession Session;
    QPointer<chat::TfrmChat> frmChat;
    QPointer<config::TfrmConfiguracao> frmConfiguracao;

    const config::TSettings& Settings() const { return SettingsOwner.settings(); }

    // The invitation as a WinPopUp message to PeerName's "messngr" mailslot, between the
    // messenger's announcement and farewell. The messenger's own errors pass unseen.
    void SendWinPopUpNotice(const std::string& UserName, const std::string& PeerName,
                            const std::string& InvitationText);

    // The invitation of a picked computer, by its network name.
    void Invite(const std::string& peerName);

    // Runs when the tray menu opens (sender menu1) and for "&Refresh" (sender
    // mnuRefresh), which also starts a scan of the network: the tray icon shows that it is
    // busy and its menu stays detached until the scan ends, on the event loop.
    void Menu1Popup(QObject* Sender);
    void BuildChatMenu(QAction* chatItem, const std::function<void(QAction*)>& onPicked);
    void menu1DrawMargin(QObject* Sender, QPainter& canvas, const QRect& R);
    // The glyph of a tray menu item; none for separators and the Chat submenu's items.
    QIcon menu1GetItemParams(QObject* Sender, const QAction* item) const;

    // How long a scan may take before it ends with what it has. The first one, at
    // start-up, has the same bound, but the listener opens by StartupScanBound while it
    // goes on: a network whose browse master never answers must not keep the program
    // from answering invitations.
    std::chrono::milliseconds StartupScanBound{3000};
    std::chrono::milliseconds RefreshScanBound{30000};
    // How long one container of the network is waited for within either.
    std::chrono::milliseconds ContainerScanBound{NetworkScan::defaultContainerBound};
    bool Scanning() const { return scanning_; }

public slots:
    void mnuOpcoesClick();
    void mnuSobreClick();
    void mnuFecharClick();

    // What the chat session asks of the form.
    session::ChatView* chatWindow() override;
    session::ChatView& showChatWindow() override;
    bool askChat(const std::string& callerName, const std::string& invitationText) override;
    void showInformation(const std::string& text) override;
    void sendInvitationNotice(const std::string& peerName, session::NoticeLineSink addLine,
                              std::function<void()> finished) override;
    const config::TSettings& settings() const override { return Settings(); }
    const std::string& localUserName() const override { return UserName; }

    // What the invitation dialog asks of the form.
    void deactivateTrayIcon() override { TryIcon.deactivateKeepingPlace(); }
    void activateTrayIcon() override { TryIcon.activate(); }
    QIcon applicationIcon() const override { return Image2; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Starts one scan into the name lists; scanEnded() runs when it has ended.
    virtual void runScan(std::chrono::milliseconds bound);

private:
    void chatWindowClosing(chat::TfrmChat& window);
    void Terminate(int exitCode);
    // The end of a scan, however it ends: the icon idle again, the Chat submenu built.
    void scanEnded();
    // The start-up listener, opened once: by the start-up bound or at the first scan's
    // end, whichever comes first. One that cannot open ends the scan and the program.
    void listenAtStartUp();

    ListenEndpoint endpoint_;
    std::string listenError_; // the socket layer's message when listening failed
    std::shared_ptr<platform::SystemNeighbourhood> neighbourhood_;
    std::shared_ptr<const NetworkProviders> networkProviders_;
    QMenu* chatSubmenu_;
    QList<QIcon> busyFrames_;
    bool scanning_ = false;
    std::unique_ptr<NetworkScan> scan_; // the last scan, running or ended
    QTimer listenBy_;                   // the start-up listener's bound
    bool listenPending_ = false;        // start-up has not opened its listener yet
    bool chatMenuBuilt_ = false;        // the Chat submenu holds the lists of the last scan
    bool chatMenuBuiltForHost_ = false;
    bool terminated_ = false;
    int exitCode_ = 0;
    QPointer<TfrmAbout> frmAbout;
};

} // namespace app
