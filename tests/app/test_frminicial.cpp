// The main form on the offscreen platform: start-up, the listener on an injected
// loopback port, the second copy's error box, "&Fechar" and the About box.
#include "app/Frminicial.h"
#include "app/LocalUserName.h"
#include "app/TrayStandInWindow.h"
#include "platform/system/SystemInfo.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"
#include "tests/support/RawPeer.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using app::Tfrminicial;

namespace {

const QString secondCopyText =
    QString::fromUtf8("Houve um erro na execução do sistema, as possiveis causas podem ser:\r\n\r\n"
                      ". Você já esta executando o Falavox©\r\n"
                      ". Seu protocolo de rede não é TCP/IP\r\n\r\n"
                      "O sistema será finalizado.");

bool acceptsConnections(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// Writes the settings store the program reads at start, in the test's own folder.
void storeSettings(const std::string& values) {
    const QString folder = platform::configDirectory();
    QDir().mkpath(folder);
    QFile file(folder + "/registry.reg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n");
    file.write(values.c_str());
}

void removeStoredSettings() {
    QFile::remove(platform::configDirectory() + "/registry.reg");
}

// Start-up's scan runs on the event loop and the listener opens by its end: this waits
// for it.
void endOfStartUp(const Tfrminicial& form) {
    ASSERT_TRUE(testsupport::waitUntil([&] { return !form.Scanning(); }));
}

// Every message box of a test, captured instead of shown.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = testsupport::freeLoopbackPort();
        ui::messageBoxHook() = [this](const ui::ShownBox& box) { boxes.push_back(box); };
    }
    void TearDown() override {
        ui::messageBoxHook() = nullptr;
        removeStoredSettings();
    }

    app::ListenEndpoint endpoint() const { return {"127.0.0.1", std::to_string(port)}; }

    int port = 0;
    std::vector<ui::ShownBox> boxes;
};

} // namespace

TEST_F(FormTest, startUpListensShowsTheTrayAndReadsTheUser) {
    Tfrminicial form(endpoint());
    EXPECT_FALSE(form.TryIcon.isActive()) << "inactive until start-up";
    EXPECT_EQ(form.TryIcon.hint(), "Falavox");
    EXPECT_FALSE(acceptsConnections(port));

    form.FormCreate();

    endOfStartUp(form);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(form.Terminated());
    EXPECT_EQ(form.SrvSocket.State(), net::wsListening);
    EXPECT_TRUE(acceptsConnections(port));
    EXPECT_TRUE(form.TryIcon.isActive());
    EXPECT_EQ(form.TryIcon.hint(), "Falavox©");
    EXPECT_EQ(form.TryIcon.menu(), &form.menu1);

    // Nothing stored: the defaults, and a title band in the menu.
    EXPECT_TRUE(form.Settings().BarraTitulo);
    EXPECT_FALSE(form.Settings().AutoResposta);
    EXPECT_EQ(form.Settings().Resposta, "");
    EXPECT_EQ(form.Settings().ChatConvite, "");
    EXPECT_FALSE(form.Settings().WinPopUp);
    EXPECT_EQ(form.menu1Margin, 27);

    EXPECT_EQ(form.UserName, app::localUserName());
    ASSERT_FALSE(form.UserName.empty());
    EXPECT_FALSE(form.UserName[0] >= 'a' && form.UserName[0] <= 'z');
    EXPECT_TRUE(form.NtFamily);
    EXPECT_EQ(form.CliSocket.State(), net::wsClosed);
    EXPECT_EQ(form.TmpSocket.State(), net::wsClosed);
}

TEST_F(FormTest, secondCopyOnTheSamePortShowsTheErrorAndEnds) {
    Tfrminicial first(endpoint());
    first.FormCreate();
    endOfStartUp(first);
    ASSERT_EQ(first.SrvSocket.State(), net::wsListening);

    Tfrminicial second(endpoint());
    second.FormCreate();
    endOfStartUp(second);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes[0].caption, "Erro");
    EXPECT_EQ(boxes[0].text, secondCopyText);
    EXPECT_TRUE(second.Terminated());
    EXPECT_EQ(second.ExitCode(), app::listenFailedExitCode);
    EXPECT_NE(second.ExitCode(), 0);
    EXPECT_NE(second.SrvSocket.State(), net::wsListening);

    // The first copy is not disturbed, also once the second one is gone.
    EXPECT_EQ(first.SrvSocket.State(), net::wsListening);
    EXPECT_TRUE(acceptsConnections(port));
    EXPECT_FALSE(first.Terminated());
}

TEST_F(FormTest, listenerOnAnAddressThatIsNotOursFails) {
    // 192.0.2.1 is a documentation address no interface here has: bind fails at once.
    Tfrminicial form({"192.0.2.1", std::to_string(port)});
    EXPECT_FALSE(form.Listen());
    EXPECT_NE(form.SrvSocket.State(), net::wsListening);
}

TEST_F(FormTest, storedSettingsAreKeptAndSetTheMenuMargin) {
    storeSettings("\"BarraTitulo\"=dword:00000000\r\n\"AutoResposta\"=dword:00000001\r\n"
                  "\"Resposta\"=\"Volto j\xe1\"\r\n\"ChatConvite\"=\"Oi\"\r\n");
    Tfrminicial form(endpoint());
    form.FormCreate();
    endOfStartUp(form);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(form.Settings().BarraTitulo);
    EXPECT_TRUE(form.Settings().AutoResposta);
    EXPECT_EQ(form.Settings().Resposta, "Volto j\xe1");
    EXPECT_EQ(form.Settings().ChatConvite, "Oi");
    EXPECT_FALSE(form.Settings().WinPopUp) << "absent: notices off, no error";
    EXPECT_EQ(form.menu1Margin, 0);
    EXPECT_EQ(form.SrvSocket.State(), net::wsListening);
}

TEST_F(FormTest, unreadableSettingsAreShownAndStartUpGoesOn) {
    // The answer text is stored as a number: reading stops there with an error.
    storeSettings("\"BarraTitulo\"=dword:00000000\r\n\"AutoResposta\"=dword:00000001\r\n"
                  "\"Resposta\"=dword:00000005\r\n\"ChatConvite\"=\"Oi\"\r\n");
    Tfrminicial form(endpoint());
    form.FormCreate();
    endOfStartUp(form);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QString::fromUtf8("Falavox©"));
    EXPECT_EQ(boxes[0].text, QString::fromUtf8("Tipo de dado inválido para 'Resposta'"));
    // What was read before the error is kept; the rest keeps its default.
    EXPECT_FALSE(form.Settings().BarraTitulo);
    EXPECT_TRUE(form.Settings().AutoResposta);
    EXPECT_EQ(form.Settings().Resposta, "");
    EXPECT_EQ(form.Settings().ChatConvite, "");
    EXPECT_EQ(form.menu1Margin, 0);
    EXPECT_TRUE(form.TryIcon.isActive());
    EXPECT_EQ(form.SrvSocket.State(), net::wsListening);
    EXPECT_FALSE(form.Terminated());
}

TEST_F(FormTest, opcoesOpensOneOptionsDialogShowingTheStoredSettings) {
    storeSettings("\"BarraTitulo\"=dword:00000001\r\n\"AutoResposta\"=dword:00000000\r\n"
                  "\"Resposta\"=\"\"\r\n\"ChatConvite\"=\"Vamos conversar?\"\r\n");
    Tfrminicial form(endpoint());
    form.mnuOpcoes->trigger();
    form.mnuOpcoes->trigger();
    int dialogs = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        dialogs += qobject_cast<config::TfrmConfiguracao*>(w) && w->isVisible() ? 1 : 0;
    EXPECT_EQ(dialogs, 1);
    ASSERT_TRUE(form.frmConfiguracao);
    auto* edtChat = form.frmConfiguracao->findChild<QLineEdit*>("edtChat");
    ASSERT_NE(edtChat, nullptr);
    EXPECT_EQ(edtChat->text(), "Vamos conversar?");
    form.frmConfiguracao->close();
    QTRY_VERIFY(!form.frmConfiguracao);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormTest, fecharRemovesTheIconAndEndsTheLoopWithCodeZero) {
    auto form = std::make_unique<Tfrminicial>(endpoint());
    form->FormCreate();
    endOfStartUp(*form);
    ASSERT_TRUE(form->TryIcon.isActive());
    bool activeWhenQuitting = true;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit,
                     [&] { activeWhenQuitting = form->TryIcon.isActive(); });
    QTimer::singleShot(0, form->mnuFechar, &QAction::trigger);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(activeWhenQuitting);
    EXPECT_TRUE(boxes.empty());

    // Destroying the form closes the listener: the port is free again.
    form.reset();
    EXPECT_FALSE(acceptsConnections(port));
    QObject::disconnect(qApp, &QCoreApplication::aboutToQuit, nullptr, nullptr);
}

TEST_F(FormTest, withoutATrayTheStandInWindowEndsTheProgram) {
    Tfrminicial form(endpoint());
    form.FormCreate();
    endOfStartUp(form);
    ASSERT_TRUE(form.TryIcon.usesStandInWindow());
    auto* fechar = form.TryIcon.standInWindow()->findChild<QPushButton*>("mnuFechar");
    ASSERT_NE(fechar, nullptr);
    QTimer::singleShot(0, fechar, [fechar] { QTest::mouseClick(fechar, Qt::LeftButton); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form.TryIcon.isActive());
    EXPECT_FALSE(form.TryIcon.standInWindow()->isVisible());

    // Its close box means the same.
    Tfrminicial again({"127.0.0.1", std::to_string(testsupport::freeLoopbackPort())});
    again.FormCreate();
    endOfStartUp(again);
    QTimer::singleShot(0, [&again] { again.TryIcon.standInWindow()->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(again.TryIcon.isActive());
}

TEST_F(FormTest, sobreOpensOneAboutBoxWithTheUserName) {
    Tfrminicial form(endpoint());
    form.UserName = "Jo\xe3o"; // Windows-1252 bytes
    form.mnuSobre->trigger();
    form.mnuSobre->trigger();
    const auto boxesShown = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            count += qobject_cast<app::TfrmAbout*>(w) && w->isVisible() ? 1 : 0;
        return count;
    };
    EXPECT_EQ(boxesShown(), 1);
    app::TfrmAbout* about = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<app::TfrmAbout*>(w)) about = found;
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->findChild<QLabel*>("lblUsuario")->text(), "Usuário: João");
    EXPECT_EQ(about->findChild<QLabel*>("lblNome")->text(), "Falavox©");
    EXPECT_TRUE(about->findChild<QLabel*>("lblVersao")->text().startsWith("Versão "));
    about->close();
    QTRY_COMPARE(boxesShown(), 0);
    EXPECT_TRUE(boxes.empty());
}

FALAVOX_TEST_MAIN(QApplication)
