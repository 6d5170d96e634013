// Shows the chat window as a session leaves it, with every kind of transcript entry, and
// stays up until it is killed or closed. Argument: "connected" or "disconnected".
#include "chat/FrmChat.h"
#include "chat/TranscriptEntry.h"
#include "net/EventSocket.h"
#include "platform/system/Cp1252.h"

#include <QApplication>
#include <QDir>
#include <QString>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool connected = argc > 1 && std::strcmp(argv[1], "connected") == 0;
    net::TEventSocket socket;
    auto* window =
        new chat::TfrmChat("Ana", socket, nullptr, QDir::tempPath() + "/chat-screenshot.ini");
    window->setPeerName("Bruno");
    window->show();
    const auto bytes = [](const char* utf8) { return platform::toCp1252(QString::fromUtf8(utf8)); };
    window->addPlainLine(bytes("Status> Conectando com (Bruno)..."));
    window->appendConnectedNotice();
    window->addUser(window->peerName());
    window->styledAppend(chat::ownChatLineRuns(
        "Ana", chat::timeStamp(), bytes("Oi Bruno, tudo bem? Já viu a ata da reunião?")));
    window->appendReceivedChatLine(
        "Bruno", bytes("Tudo ótimo! Vi sim, está na pasta <b>compartilhada</b>\r"));
    window->appendReceivedChatLine(
        "Bruno", bytes("<img src=\"logo.png\"> isto aparece como texto & não como figura\r"));
    window->appendReceivedStatusLine("Status> Green Light\r");
    window->appendReceivedChatLine("Carla (auto-resposta)",
                                   bytes("  Estou em reunião até as 15h.\r"));
    window->appendReceivedStatusLine(
        bytes("Status> Seu convite ao chat foi recusado! Tente mais tarde...\r"));
    window->appendReceivedStatusLine("Status> Ocupado! Tente mais tarde...\r");
    window->styledAppend(chat::ownChatLineRuns("Ana", chat::timeStamp(), ""));
    if (connected) {
        window->connectedLook();
        window->finishEntry();
    } else {
        window->addPlainLine("Status> Desconectado!");
        window->disconnectedLook();
        window->removePeer();
        window->finishEntry();
    }
    return app.exec();
}
