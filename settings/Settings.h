#pragma once

#include <stdexcept>
#include <string>

// The five user settings the program keeps, and the errors of reading and writing them.
namespace config {

// The settings record. Texts are Windows-1252 bytes, as stored.
struct TSettings {
    bool BarraTitulo = true;   // draw the title band in the tray menu's left margin
    bool AutoResposta = false; // answer invitations without asking
    std::string Resposta;      // the automatic answer; empty means a refusal
    std::string ChatConvite;   // the personal message sent with every invitation
    bool WinPopUp = false;     // send a notice when an invited computer refuses the connection

    bool operator==(const TSettings&) const = default;
};

// Where the settings live, below HKEY_LOCAL_MACHINE.
inline constexpr const char* settingsKey = "Software\\Falavox\\Configuracao";

// Width of the tray menu's left margin, which holds the title band when it is shown.
inline constexpr int titleBandMargin = 27;
inline int menuLeftMargin(const TSettings& settings) {
    return settings.BarraTitulo ? titleBandMargin : 0;
}

// A failed registry read or write; what() is the message for the user, in UTF-8.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The store file itself cannot be read (it is not a store this program wrote); it is
// left as it is, and no change of the settings can mend it from within the program.
class EDamagedStore : public ERegistryException {
public:
    using ERegistryException::ERegistryException;
};

} // namespace config
