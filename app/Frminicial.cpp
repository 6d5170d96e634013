#include "app/Frminicial.h"

#include "app/ChatMenu.h"
#include "app/LocalUserName.h"
#include "app/NetworkScan.h"
#include "app/StartupDiagnostics.h"
#include "app/TitleBand.h"
#include "assets/AssetPaths.h"
#include "notice/InvitationNotice.h"
#include "notice/NTLib.h"
#include "platform/system/Cp1252.h"
#include "platform/system/FreeMemory.h"
#include "platform/system/SystemInfo.h"
#include "text/AsciiText.h"
#include "ui/ApplicationTitle.h"
#include "ui/Hints.h"
#include "ui/MessageBox.h"
#include "ui/ShowForm.h"
#include "work/WorkPool.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace app {

using ui::runGuarded;
using ui::showError;
using ui::showForm;
using ui::ShowMode;

namespace {

// What a copy that cannot listen tells its user before it ends.
const char* const listenFailedText =
    "Houve um erro na execução do sistema, as possiveis causas podem ser:\r\n\r\n"
    ". Você já esta executando o Falavox©\r\n"
    ". Seu protocolo de rede não é TCP/IP\r\n\r\n"
    "O sistema será finalizado.";

} // namespace

Tfrminicial::Tfrminicial(ListenEndpoint endpoint, TrayIcon::Backend trayBackend, QObject* parent)
    : QObject(parent), TryIcon(trayBackend), Image2(QString::fromLatin1(assets::telephonePath)),
      NetMessages(work::WorkPool::shared()),
      Session(SrvSocket, CliSocket, TmpSocket, *this, endpoint.Port),
      endpoint_(std::move(endpoint)) {
    setObjectName(QStringLiteral("frminicial"));
    Messenger1.SetBoxName("messngr");
    PicClip1 = QPixmap(
        assets::forScale(QString::fromLatin1(assets::menuGlyphs), qGuiApp->devicePixelRatio()));
    chatSubmenu_ = new QMenu(&menu1);
    chatSubmenu_->setObjectName(QStringLiteral("mnuChatItems"));
    networkProviders_ = std::make_shared<NetworkProviders>(
        std::vector<std::shared_ptr<platform::NetworkProvider>>{});
    const TrayMenuItems items = buildTrayMenu(menu1);
    mnuChat = items.mnuChat;
    N4 = items.N4;
    mnuRefresh = items.mnuRefresh;
    mnuOpcoes = items.mnuOpcoes;
    N5 = items.N5;
    mnuSobre = items.mnuSobre;
    N6 = items.N6;
    mnuFechar = items.mnuFechar;
    for (QAction* item : menu1.actions())
        item->setIcon(menu1GetItemParams(&menu1, item));
    menu1.setBandPainter(
        [this](QPainter& canvas, const QRect& R) { menu1DrawMargin(&menu1, canvas, R); });
    for (int n = 1; n <= assets::busyFrameCount; ++n)
        busyFrames_.append(QIcon(assets::busyFramePath(n)));

    // Every size the icon is drawn at: panels take the one nearest what they draw.
    QIcon trayIcon;
    for (const QString& size : assets::trayStaticSizes())
        trayIcon.addFile(size);
    TryIcon.setIcon(trayIcon);
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
    // Closing the window that stands in for the tray icon ends the program like "&Fechar",
    // except while a scan has the menu detached: then none of the commands is there.
    connect(&TryIcon, &TrayIcon::closeRequested, mnuFechar, [this] {
        if (TryIcon.menu()) mnuFechar->trigger();
    });

    listenBy_.setSingleShot(true);
    connect(&listenBy_, &QTimer::timeout, this,
            [this] { runGuarded([this] { listenAtStartUp(); }); });

    SettingsOwner.setMenuLeftMarginHandler([this](int margin) {
        menu1Margin = margin;
        menu1.setBandWidth(margin);
    });
}

Tfrminicial::~Tfrminicial() {
    TryIcon.deactivate();
    // Windows that use the form's sockets and settings go first.
    delete frmChat.data();
    delete frmConfiguracao.data();
    delete frmAbout.data();
}

void Tfrminicial::FormCreate() {
    // Defaults, then what is stored. A stored value that cannot be read is shown, and
    // start-up goes on with the values read so far and the defaults for the rest: a
    // program without its icon and listener could neither be used nor ended.
    SettingsOwner.settings() = config::TSettings{};
    SettingsOwner.ReloadSettingsAtStartup();
    ui::useProgramHints();

    TryIcon.activate();
    UserName = app::localUserName();
    NtFamily = platform::isNtFamily();
    // The first scan waits for the network as long as "&Refresh" does, since at log-in,
    // when everything starts at once, the computers answer late; but the listener opens
    // by the start-up bound whatever the scan still waits for (or at the scan's end, if
    // that comes first), and a scan whose listener could not open ends there.
    listenPending_ = true;
    listenBy_.start(StartupScanBound);
    Menu1Popup(mnuRefresh);
}

void Tfrminicial::listenAtStartUp() {
    if (!listenPending_) return;
    listenPending_ = false;
    listenBy_.stop();
    if (Listen()) return;
    if (scan_) scan_->stop();
    const QString text = QString::fromUtf8(listenFailedText);
    // Also on the error stream, for whoever started the program from a terminal.
    std::fprintf(stderr, "falavox: %s\n", text.toLocal8Bit().constData());
    const auto port = static_cast<std::uint16_t>(std::strtoul(endpoint_.Port.c_str(), nullptr, 10));
    for (const std::string& line : listenFailureLines(listenError_, port, portListeners(port)))
        std::fprintf(stderr, "falavox: %s\n", line.c_str());
    showError(text);
    Terminate(listenFailedExitCode);
}

bool Tfrminicial::Listen() {
    try {
        SrvSocket.SetPort(endpoint_.Port);
        SrvSocket.SetProto(std::string(session::sessionProto));
        SrvSocket.SetAddr(endpoint_.Addr);
        SrvSocket.Listen();
        return true;
    } catch (const std::exception& e) {
        listenError_ = e.what();
        return false;
    }
}

void Tfrminicial::setNeighbourhood(std::shared_ptr<platform::SystemNeighbourhood> neighbourhood) {
    neighbourhood_ = std::move(neighbourhood);
    networkProviders_ = std::make_shared<NetworkProviders>(
        neighbourhood_ ? neighbourhood_->providers()
                       : std::vector<std::shared_ptr<platform::NetworkProvider>>{});
}

void Tfrminicial::Menu1Popup(QObject* Sender) {
    const bool refresh = Sender == mnuRefresh;
    // A scan serves the program's events while it waits on the network; a second one
    // started meanwhile (the menu is detached, but a command may still arrive) would
    // refill the lists under the first.
    if (scanning_) return;
    // The Chat submenu is built once from each scan's lists (and again only when a tray
    // host starts or stops drawing the menu itself): the lists change only in a scan, and
    // a menu of thousands of computers rebuilt at every opening kept the program from its
    // callers meanwhile.
    const auto buildChatMenu = [this] {
        BuildChatMenu(mnuChat, [this](QAction* item) {
            runGuarded([this, item] { Invite(computerName(*item)); });
        });
        chatMenuBuiltForHost_ = TryIcon.hostDrawsMenu();
        chatMenuBuilt_ = true;
    };
    if (!refresh) {
        if (!chatMenuBuilt_ || chatMenuBuiltForHost_ != TryIcon.hostDrawsMenu()) buildChatMenu();
        return;
    }
    // The menu stays detached while the lists of names are being filled, so that no
    // second scan and no invitation can start from it meanwhile.
    TryIcon.startAnimation(busyFrames_, 100);
    TryIcon.setHint(QStringLiteral("Localizando usuários..."));
    TryIcon.setMenu(nullptr);
    Lists.clear();
    chatMenuBuilt_ = false;
    scanning_ = true;
    try {
        runScan(RefreshScanBound);
    } catch (...) {
        // No error of the scan reaches the user: a scan that started goes on and lists
        // what it finds; one that did not ends here, and the menu comes back.
        if (!scan_ || !scan_->running()) scanEnded();
    }
}

void Tfrminicial::runScan(std::chrono::milliseconds bound) {
    scan_ = std::make_unique<NetworkScan>(networkProviders_, Lists, bound, ContainerScanBound);
    scan_->start([this] { runGuarded([this] { scanEnded(); }); });
}

void Tfrminicial::scanEnded() {
    if (!scanning_) return;
    scanning_ = false;
    // However the scan ended, the icon stops being busy and the menu comes back: a program
    // left without its menu could not even be closed.
    TryIcon.stopAnimation();
    TryIcon.setHint(ui::programTitle());
    TryIcon.setMenu(&menu1);
    BuildChatMenu(mnuChat, [this](QAction* item) {
        runGuarded([this, item] { Invite(computerName(*item)); });
    });
    chatMenuBuiltForHost_ = TryIcon.hostDrawsMenu();
    chatMenuBuilt_ = true;
    listenAtStartUp();
}

void Tfrminicial::BuildChatMenu(QAction* chatItem, const std::function<void(QAction*)>& onPicked) {
    buildChatMenu(*chatItem, *chatSubmenu_, Lists, onPicked, TryIcon.hostDrawsMenu());
}

void Tfrminicial::menu1DrawMargin(QObject*, QPainter& canvas, const QRect& R) {
    if (!Settings().BarraTitulo) return;
    drawTitleBand(canvas, R, menu1.palette());
}

QIcon Tfrminicial::menu1GetItemParams(QObject*, const QAction* item) const {
    const int tag = menuTag(item);
    if (tag < 1 || tag > assets::glyphCellCount || PicClip1.isNull()) return QIcon();
    // The strip's right-hand pixels that do not make a whole cell are never shown.
    const int cellWidth = PicClip1.width() / assets::glyphCellCount;
    QPixmap cell = PicClip1.copy((tag - 1) * cellWidth, 0, cellWidth, PicClip1.height());
    cell.setDevicePixelRatio(PicClip1.devicePixelRatio());
    return QIcon(cell);
}

void Tfrminicial::mnuOpcoesClick() {
    showForm(frmConfiguracao, ShowMode::Modeless,
             [this] { return new config::TfrmConfiguracao(SettingsOwner, NtFamily); });
}

void Tfrminicial::mnuSobreClick() {
    const QString user = platform::fromCp1252(UserName);
    showForm(frmAbout, ShowMode::Modeless, [&user] { return new TfrmAbout(user); });
}

void Tfrminicial::mnuFecharClick() {
    TryIcon.deactivate();
    QCoreApplication::quit();
}

void Tfrminicial::Invite(const std::string& peerName) {
    Session.Invite(peerName);
}

session::ChatView* Tfrminicial::chatWindow() {
    return frmChat.data();
}

session::ChatView& Tfrminicial::showChatWindow() {
    showForm(frmChat, ShowMode::Modeless, [this] {
        auto* window = new chat::TfrmChat(UserName, CliSocket);
        // A window closed while its invitation still looks up the computer's name
        // takes the invitation with it (see eventFilter).
        window->installEventFilter(this);
        // Once the window and its transcript are gone, so is the memory they held.
        connect(window, &QObject::destroyed, this,
                [this] { QTimer::singleShot(0, this, [] { platform::giveFreedMemoryBack(); }); });
        return window;
    });
    return *frmChat;
}

bool Tfrminicial::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == frmChat.data()) chatWindowClosing(*frmChat);
    return QObject::eventFilter(watched, event);
}

// A closed chat window is destroyed only on a later turn of the event loop, possibly
// after a new session has begun (an invitation closes the window before its dialog, and
// the next window is opened while the dialog's loop runs). So the window stops being the
// chat window as soon as it closes, and the session it showed ends at that moment.
void Tfrminicial::chatWindowClosing(chat::TfrmChat& window) {
    frmChat = nullptr;
    Session.ChatWindowClosing();
    if (window.closedForInvitation() || !window.holdsSession()) return;
    window.setHoldsSession(false);
    runGuarded([this] { CliSocket.Close(); });
}

bool Tfrminicial::askChat(const std::string& callerName, const std::string& invitationText) {
    return session::AskChat(*this, callerName, invitationText);
}

void Tfrminicial::showInformation(const std::string& text) {
    ui::showInformation(platform::fromCp1252(text));
}

void Tfrminicial::sendInvitationNotice(const std::string& peerName, session::NoticeLineSink addLine,
                                       std::function<void()> finished) {
    // The notice names the peer as the chat window shows it.
    const std::string peer = frmChat ? frmChat->peerName() : text::capitalizeName(peerName);
    notice::NoticeRoutes routes;
    routes.netMessage = [this](const std::string& to, const std::string& text,
                               std::function<void(bool)> delivered) {
        NetMessages.send(to, text, std::move(delivered));
    };
    routes.winPopUp = [this](const std::string& user, const std::string& to,
                             const std::string& text) { SendWinPopUpNotice(user, to, text); };
    notice::sendInvitationNotice(NtFamily, UserName, peer, Settings().ChatConvite, routes,
                                 std::move(addLine), std::move(finished));
}

void Tfrminicial::SendWinPopUpNotice(const std::string& UserName, const std::string& PeerName,
                                     const std::string& InvitationText) {
    Messenger1.Activate();
    Messenger1.SendTextMessage(PeerName,
                               notice::winPopUpNoticeText(UserName, PeerName, InvitationText));
    Messenger1.Deactivate();
}

void Tfrminicial::Terminate(int exitCode) {
    terminated_ = true;
    exitCode_ = exitCode;
    QCoreApplication::exit(exitCode);
}

} // namespace app
