#include "app/Frminicial.h"

#include "app/LocalUserName.h"
#include "app/MessageBox.h"
#include "app/ShowForm.h"
#include "platform/Cp1252.h"
#include "platform/SystemInfo.h"

#include <QAction>
#include <QCoreApplication>
#include <cstdio>
#include <exception>

namespace app {

namespace {

// What a copy that cannot listen tells its user before it ends.
const char* const listenFailedText =
    "Houve um erro na execução do sistema, as possiveis causas podem ser:\r\n\r\n"
    ". Você já esta executando o Falavox©\r\n"
    ". Seu protocolo de rede não é TCP/IP\r\n\r\n"
    "O sistema será finalizado.";

} // namespace

Tfrminicial::Tfrminicial(ListenEndpoint endpoint, TrayIcon::Backend trayBackend, QObject* parent)
    : QObject(parent), TryIcon(trayBackend), Image2(QStringLiteral(":/app/telephone.png")),
      endpoint_(std::move(endpoint)) {
    setObjectName(QStringLiteral("frminicial"));
    const TrayMenuItems items = buildTrayMenu(menu1);
    mnuChat = items.mnuChat;
    N4 = items.N4;
    mnuRefresh = items.mnuRefresh;
    mnuOpcoes = items.mnuOpcoes;
    N5 = items.N5;
    mnuSobre = items.mnuSobre;
    N6 = items.N6;
    mnuFechar = items.mnuFechar;

    TryIcon.setIcon(QIcon(QStringLiteral(":/tray/static.png")));
    TryIcon.setHint(QStringLiteral("Falavox"));
    TryIcon.setMenu(&menu1);

    connect(&menu1, &QMenu::aboutToShow, this,
            [this] { runGuarded([this] { Menu1Popup(&menu1); }); });
    connect(mnuRefresh, &QAction::triggered, this,
            [this] { runGuarded([this] { Menu1Popup(mnuRefresh); }); });
    connect(mnuOpcoes, &QAction::triggered, this,
            [this] { runGuarded([this] { mnuOpcoesClick(); }); });
    connect(mnuSobre, &QAction::triggered, this,
            [this] { runGuarded([this] { mnuSobreClick(); }); });
    connect(mnuFechar, &QAction::triggered, this,
            [this] { runGuarded([this] { mnuFecharClick(); }); });
    // Closing the window that stands in for the tray icon ends the program like "&Fechar".
    connect(&TryIcon, &TrayIcon::closeRequested, mnuFechar, &QAction::trigger);
}

Tfrminicial::~Tfrminicial() {
    TryIcon.deactivate();
    delete frmAbout.data();
}

void Tfrminicial::FormCreate() {
    Settings = TSettings{};
    // A stored value that cannot be read must not leave the program running without
    // its icon and listener, where the user could neither use nor end it.
    try {
        ReloadSettings();
    } catch (const std::exception& e) {
        Settings = TSettings{};
        showApplicationError(QString::fromUtf8(e.what()));
    }
    SetMenuMargin();

    TryIcon.activate();
    UserName = localUserName();
    NtFamily = platform::isNtFamily();
    Menu1Popup(mnuRefresh);

    if (!Listen()) {
        const QString text = QString::fromUtf8(listenFailedText);
        // Also on the error stream, for whoever started the program from a terminal.
        std::fprintf(stderr, "falavox: %s\n", text.toLocal8Bit().constData());
        showError(text);
        Terminate(listenFailedExitCode);
    }
}

void Tfrminicial::ReloadSettings() {
    SetMenuMargin();
}

void Tfrminicial::SetMenuMargin() {
    menu1Margin = Settings.BarraTitulo ? 27 : 0;
}

bool Tfrminicial::Listen() {
    try {
        SrvSocket.SetPort(endpoint_.Port);
        SrvSocket.SetProto("tcp");
        SrvSocket.SetAddr(endpoint_.Addr);
        SrvSocket.Listen();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void Tfrminicial::Menu1Popup(QObject* Sender) {
    if (Sender != mnuRefresh) return;
    // The menu stays detached while the lists of names are being filled, so that no
    // second scan and no invitation can start from it meanwhile.
    TryIcon.setHint(QStringLiteral("Localizando usuários..."));
    TryIcon.setMenu(nullptr);
    TryIcon.setHint(QStringLiteral("Falavox©"));
    TryIcon.setMenu(&menu1);
}

void Tfrminicial::mnuOpcoesClick() {}

void Tfrminicial::mnuSobreClick() {
    const QString user = platform::fromCp1252(UserName);
    showForm(frmAbout, ShowMode::Modeless, [&user] { return new TfrmAbout(user); });
}

void Tfrminicial::mnuFecharClick() {
    TryIcon.deactivate();
    QCoreApplication::quit();
}

void Tfrminicial::Terminate(int exitCode) {
    terminated_ = true;
    exitCode_ = exitCode;
    QCoreApplication::exit(exitCode);
}

} // namespace app
