#include "session/FrmAskchat.h"

#include "assets/AssetPaths.h"
#include "ui/ApplicationTitle.h"
#include "ui/DialogLook.h"

#include "platform/system/Cp1252.h"
#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/InvitationNotification.h"
#include "ui/WindowActivation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <exception>
#include <string_view>

namespace session {
namespace {

QLabel* picture(QWidget* parent, const char* name, const char* resource, QRect geometry) {
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setPixmap(
        QPixmap(assets::forScale(QString::fromLatin1(resource), qGuiApp->devicePixelRatio())));
    image->setGeometry(geometry);
    return image;
}

// A speed button: clicked by the mouse or its accelerator, never focused.
QToolButton* speedButton(QWidget* parent, const char* name, const QString& caption,
                         QRect geometry) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(geometry);
    return button;
}

// The invitation text on one line: a trailing CR or LF is dropped and any other control
// character shows as a blank, so the label never grows a second line.
QString oneLine(const std::string& bytes) {
    QString text = platform::fromCp1252(bytes);
    while (text.endsWith(QLatin1Char('\r')) || text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    for (QChar& c : text)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    return text;
}

} // namespace

TfrmAskchat::TfrmAskchat() : QDialog(nullptr), gate_([] { return askchat::now(); }) {
    setObjectName(QStringLiteral("frmAskchat"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The invitation appears on top of whatever the user is doing but leaves the keyboard
    // where it is: keys typed for another program must never reach it. Where the window
    // system gives it the keyboard all the same, only Alt with a letter answers it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Only a close box: the toolkit tells the window manager which buttons a window has
    // only when asked to customise them, and a fixed-size dialog that offered to be
    // maximised or minimised would look broken.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Window managers still hand the keyboard to a new modal dialog of a program (openbox
    // does), so under X11 the dialog at first refuses it altogether; the first click on
    // it lifts that (see eventFilter).
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setWindowTitle(QStringLiteral("Convite ao chat do usuário:"));
    setFont(ui::dialogFont());
    setFixedSize(clientWidth, clientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    buildControls();
    FormCreate();
}

TfrmAskchat::~TfrmAskchat() = default;

void TfrmAskchat::buildControls() {
    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(false);
    Label1->setGeometry(8, 5, Label1->sizeHint().width(), fontMetrics().height());

    Panel1 = ui::bevelPanel(this, "Panel1", QFrame::Raised, QRect(6, 23, 375, 38));
    Panel2 = ui::bevelPanel(Panel1, "Panel2", QFrame::Sunken, QRect(2, 2, 34, 35));
    Image1 = picture(Panel2, "Image1", assets::helloPath, QRect(1, 1, 32, 32));
    Panel3 = ui::bevelPanel(Panel1, "Panel3", QFrame::Sunken, QRect(41, 9, 328, 18));

    PB = new QProgressBar(Panel3);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setGeometry(1, 1, 326, 16);
    PB->setRange(0, AskChatCountdown::tickCount);
    PB->setValue(0);
    PB->setTextVisible(false);
    PB->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: white; }"
                                     "QProgressBar::chunk { background: rgb(0, 0, 160); }"));

    btnAceitar =
        speedButton(this, "btnAceitar", QStringLiteral("&Aceitar"), QRect(75, 67, 113, 25));
    btnIgnorar =
        speedButton(this, "btnIgnorar", QStringLiteral("&Ignorar"), QRect(200, 67, 121, 25));
    connect(btnAceitar, &QToolButton::clicked, this, &TfrmAskchat::btnAceitarClick);
    connect(btnIgnorar, &QToolButton::clicked, this, &TfrmAskchat::btnIgnorarClick);
    // Disabled, and shown so, for the dialog's first second: a click there then does
    // nothing, and the look says why.
    btnAceitar->setEnabled(false);
    btnIgnorar->setEnabled(false);
    settleTimer_ = new QTimer(this);
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &QTimer::timeout, this, &TfrmAskchat::settleAnswers);

    // The three faces only lend their pictures to the application icon.
    Image2 = picture(this, "Image2", assets::faceClosed, QRect(2, 64, 16, 16));
    Image3 = picture(this, "Image3", assets::faceOpen, QRect(36, 64, 16, 16));
    Image4 = picture(this, "Image4", assets::faceWide, QRect(70, 64, 16, 16));
    for (QLabel* face : {Image2, Image3, Image4})
        face->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(askchat::tickInterval());
    connect(Timer1, &QTimer::timeout, this, &TfrmAskchat::Timer1Timer);
}

void TfrmAskchat::FormCreate() {
    QApplication::setWindowIcon(faceIcon(AskChatCountdown::Face::Closed));
    ui::setApplicationTitle(QStringLiteral("Convite ao Chat..."));
}

QIcon TfrmAskchat::faceIcon(AskChatCountdown::Face face) const {
    const QLabel* image = face == AskChatCountdown::Face::Closed ? Image2
                          : face == AskChatCountdown::Face::Open ? Image3
                                                                 : Image4;
    return QIcon(image->pixmap());
}

void TfrmAskchat::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (windowHandle()) windowHandle()->installEventFilter(this);
    // A window shown again by the system (restored, remapped) is not a new invitation.
    if (!shown_ && !e->spontaneous()) {
        shown_ = true;
        FormShow();
    }
}

void TfrmAskchat::FormShow() {
    playInvitationSound();
    PutOnTop();
    gate_.open();
    settleTimer_->start(gate_.remaining());
    const AskChatData& data = askChatData();
    setWindowTitle(QStringLiteral("Convite ao chat do usuário: ") +
                   platform::fromCp1252(data.callerName));
    Label1->setText(oneLine(data.invitationText));
    Label1->setGeometry(Label1->x(), Label1->y(), labelWidth, Label1->height());
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    Timer1->start();
    PB->setValue(0);
    postNotification();
    if (askchat::shownHook())
        QTimer::singleShot(0, this, [this] {
            if (const auto& hook = askchat::shownHook()) hook(*this);
        });
}

void TfrmAskchat::postNotification() {
    InvitationNotification::Answers answers;
    // A click on the notification is a deliberate act on a surface the user chose to look
    // at, unlike a click that lands on the dialog as it appears: it answers at once, even
    // in the dialog's first second.
    answers.accept = [this](const QString& token) {
        // The chat window that opens next comes forward with the desktop's permission.
        ui::keepActivationToken(token);
        answer(true);
    };
    answers.ignore = [this] { answer(false); };
    // The user asked for the dialog: it comes forward and may have the keyboard.
    answers.bringForward = [this](const QString& token) {
        acceptKeyboard();
        ui::bringForward(this, token);
    };
    notification_ = std::make_unique<InvitationNotification>(askchat::notificationService(),
                                                             std::move(answers));
    notification_->post(windowTitle(), Label1->text());
}

void TfrmAskchat::playInvitationSound() {
    // The invitation must be noticed even where the sound cannot be played.
    try {
        QFile file(QString::fromLatin1(assets::chimePath));
        if (!file.open(QIODevice::ReadOnly))
            throw platform::SoundError("the invitation sound is missing");
        const QByteArray wave = file.readAll();
        askchat::soundPlayer().playSync(
            std::string_view(wave.constData(), static_cast<std::size_t>(wave.size())));
    } catch (const std::exception&) {
        askchat::beep();
    }
}

void TfrmAskchat::Timer1Timer() {
    const AskChatCountdown::Tick tick = countdown_.tick();
    QApplication::setWindowIcon(faceIcon(tick.face));
    PB->setValue(tick.progress);
    if (tick.timedOut) {
        Timer1->stop();
        askChatData().accepted = false;
        close();
    }
}

void TfrmAskchat::settleAnswers() {
    if (!gate_.admits()) {
        settleTimer_->start(gate_.remaining());
        return;
    }
    btnAceitar->setEnabled(true);
    btnIgnorar->setEnabled(true);
}

void TfrmAskchat::btnAceitarClick() {
    if (gate_.admits()) answer(true);
}

void TfrmAskchat::btnIgnorarClick() {
    if (gate_.admits()) answer(false);
}

void TfrmAskchat::answer(bool accepted) {
    Timer1->stop();
    askChatData().accepted = accepted;
    close();
}

void TfrmAskchat::PutOnTop() {
    // Headless platforms have no stacking order to keep, and say so on every call.
    static const bool stacking = QGuiApplication::platformName() != QLatin1String("offscreen") &&
                                 QGuiApplication::platformName() != QLatin1String("minimal");
    if (stacking) raise();
}

bool TfrmAskchat::eventFilter(QObject* watched, QEvent* e) {
    // The user has put the pointer on the dialog and pressed: from now on it may have the
    // keyboard, so that Alt with the underlined letters answers it.
    if (watched == windowHandle() && e->type() == QEvent::MouseButtonPress &&
        (windowHandle()->flags() & Qt::WindowDoesNotAcceptFocus)) {
        acceptKeyboard();
        activateWindow();
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmAskchat::acceptKeyboard() {
    if (windowHandle()) windowHandle()->setFlag(Qt::WindowDoesNotAcceptFocus, false);
}

bool TfrmAskchat::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::Hide:
        // However the dialog closed, no tick may answer it afterwards. A hide that the
        // window system sends (the dialog minimised) is no answer: the caller waits for
        // one, so the countdown runs on until the dialog closes.
        if (!e->spontaneous()) {
            Timer1->stop();
            if (notification_) notification_->withdraw();
        }
        PutOnTop();
        break;
    case QEvent::WindowDeactivate:
    case QEvent::Paint:
        PutOnTop();
        break;
    default:
        break;
    }
    return QDialog::event(e);
}

void TfrmAskchat::keyPressEvent(QKeyEvent* e) {
    // No default and no cancel button: Enter and Escape must not answer the invitation.
    // Nor does a bare letter: the dialog can have the keyboard without the user having
    // seen it, while they type into another program. Alt with the underlined letter
    // reaches the buttons as their shortcut, never through here.
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        e->accept();
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(e);
}

void TfrmAskchat::closeEvent(QCloseEvent* e) {
    // The close box is an answer too ("not accepted"), so the window system's close
    // waits out the settling second like the buttons; the program's own close (the
    // answers, the time-out) always goes through.
    if (e->spontaneous() && !gate_.admits()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

} // namespace session
