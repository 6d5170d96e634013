#pragma once

#include "app/FrmAbout.h"
#include "app/SettingsRecord.h"
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "net/EventSocket.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <string>

namespace app {

// Where the program listens for callers. The program itself always uses the default;
// tests give a loopback address and a free port.
struct ListenEndpoint {
    std::string Addr = "0.0.0.0";
    std::string Port = "2200";
};

// The exit code of a copy that could not listen (most often: another copy runs).
inline constexpr int listenFailedExitCode = 1;

// The main form: never shown, alive for the whole run. It owns the tray icon and its
// menu, the three sockets, the settings and the local user's name, and runs start-up
// (FormCreate) and the tray commands.
class Tfrminicial : public QObject {
    Q_OBJECT
public:
    explicit Tfrminicial(ListenEndpoint endpoint = {},
                         TrayIcon::Backend trayBackend = TrayIcon::Backend::Automatic,
                         QObject* parent = nullptr);
    Tfrminicial(const Tfrminicial&) = delete;
    Tfrminicial& operator=(const Tfrminicial&) = delete;
    ~Tfrminicial() override;

    // Start-up, in this order: settings, tray icon, user name, first network scan,
    // listener. When the listener cannot be opened the user is told and the program
    // is terminated (see Terminated()).
    void FormCreate();

    // Opens SrvSocket on the listen endpoint; false on any error.
    bool Listen();

    // True once start-up decided that the program must end, with the code to end with.
    bool Terminated() const { return terminated_; }
    int ExitCode() const { return exitCode_; }

    // Components, in the order the form declares them.
    QMenu menu1;
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

    // The form's own fields.
    TSettings Settings;
    int menu1Margin = 0; // width of the tray menu's title band, in pixels
    std::string UserName;
    bool NtFamily = true;

    // Runs when the tray menu opens (sender menu1) and for "&Refresh" (sender
    // mnuRefresh), which also scans the network with the tray icon showing that it is
    // busy and its menu detached.
    void Menu1Popup(QObject* Sender);

public slots:
    void mnuOpcoesClick();
    void mnuSobreClick();
    void mnuFecharClick();

protected:
    // Loads the stored settings over the defaults. Errors it raises are shown and
    // start-up goes on with the defaults.
    virtual void ReloadSettings();

private:
    void SetMenuMargin();
    void Terminate(int exitCode);

    ListenEndpoint endpoint_;
    bool terminated_ = false;
    int exitCode_ = 0;
    QPointer<TfrmAbout> frmAbout;
};

} // namespace app
