#include "notice/InvitationNotice.h"

#include "platform/system/Cp1252.h"

namespace notice {
namespace {

std::string ansi(const char16_t* text) {
    return platform::toCp1252(QString::fromUtf16(text));
}

} // namespace

std::string invitationNoticeText(const std::string& invitationText) {
    return "Convite ao chat: " + invitationText;
}

std::string winPopUpNoticeText(const std::string& userName, const std::string& peerName,
                               const std::string& invitationText) {
    std::string text = userName;
    text.push_back('\0');
    text += peerName;
    text.push_back('\0');
    return text + invitationNoticeText(invitationText);
}

void sendInvitationNotice(bool ntFamily, const std::string& userName, const std::string& peerName,
                          const std::string& invitationText, const NoticeRoutes& routes,
                          std::function<void(const std::string&)> addLine,
                          std::function<void()> finished) {
    const std::string sent = ansi(u"Status> Seu convite foi enviado com êxito.");
    const std::string failed = ansi(u"Status> Não foi possivel enviar seu convite.");
    try {
        if (ntFamily) {
            addLine(ansi(u"Status> Enviando convite ao chat através do serviço de mensagens..."));
            routes.netMessage(peerName, invitationNoticeText(invitationText), [=](bool delivered) {
                try {
                    addLine(delivered ? sent : failed);
                } catch (...) {
                    // As below: the line is lost, the notice has ended.
                }
                finished();
            });
            return;
        }
        addLine(ansi(u"Status> Enviando convite ao chat através do WinPopUp..."));
        bool delivered = true;
        try {
            routes.winPopUp(userName, peerName, invitationText);
        } catch (...) {
            delivered = false;
        }
        addLine(delivered ? sent : failed);
    } catch (...) {
        // Whatever else goes wrong leaves the invitation where the connection left it.
    }
    finished();
}

} // namespace notice
