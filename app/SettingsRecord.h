#pragma once

#include <string>

namespace app {

// The five stored settings, with the values they have when nothing is stored.
// Texts are Windows-1252 bytes, like everything the program sends or stores.
struct TSettings {
    bool BarraTitulo = true;   // title band in the tray menu
    bool AutoResposta = false; // answer invitations without asking
    std::string Resposta;      // the automatic answer; empty makes it a refusal
    std::string ChatConvite;   // text sent with every invitation and notice
    bool WinPopUp = false;     // send a notice when a connection is refused
};

} // namespace app
