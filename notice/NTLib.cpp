#include "notice/NTLib.h"

#include "platform/Cp1252.h"
#include "platform/HostLookup.h"

#include <QProcess>
#include <QStandardPaths>
#include <arpa/inet.h>

namespace notice {

bool SendNetMessage(const std::string& Recipient, const std::string& Text) {
    const QString client = QStandardPaths::findExecutable(QStringLiteral("smbclient"));
    if (client.isEmpty()) return false;
    QProcess process;
    process.setProgram(client);
    // The recipient travels inside its option, so that a name beginning with "-" is never
    // read as an option of its own. Messages are an SMB1 service, which the client no
    // longer offers by default.
    QStringList arguments = {QStringLiteral("--message=") + platform::fromCp1252(Recipient),
                             QStringLiteral("-N"),
                             QStringLiteral("--option=client min protocol=NT1")};
    // The client looks a messenger name up only by NetBIOS broadcast; the program's own
    // lookup (the system resolver, then the neighbourhood's sources) finds computers that
    // no broadcast reaches, as it does for invitations.
    const std::vector<std::uint32_t> addresses = platform::lookupHost(Recipient).addresses;
    if (!addresses.empty()) {
        in_addr address{};
        address.s_addr = addresses.front();
        arguments << QStringLiteral("-I") << QString::fromLatin1(::inet_ntoa(address));
    }
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(netMessageTimeoutMs)) return false;
    // The client reads UTF-8 and converts it for the server itself.
    process.write(platform::fromCp1252(Text).toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(netMessageTimeoutMs)) {
        process.kill();
        process.waitForFinished(netMessageTimeoutMs);
        return false;
    }
    // The client also ends with status 0 after some refusals; it then names the refusal
    // on its error output.
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           !process.readAllStandardError().contains("NT_STATUS_");
}

} // namespace notice
