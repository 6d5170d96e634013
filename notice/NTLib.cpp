#include "notice/NTLib.h"

#include "platform/sockets/HostLookup.h"
#include "platform/system/Cp1252.h"

#include <QProcess>
#include <QStandardPaths>
#include <arpa/inet.h>

namespace notice {

namespace {

// Waits for the client in short steps, so that a stop is seen promptly; false when the
// wait passed its length or a stop was requested.
template <class Wait> bool waitFor(Wait wait, const std::stop_token& stop) {
    constexpr int step = 50;
    for (int waited = 0; waited < netMessageTimeoutMs; waited += step) {
        if (stop.stop_requested()) return false;
        if (wait(step)) return true;
    }
    return false;
}

} // namespace

bool SendNetMessage(const std::string& Recipient, const std::string& Text, std::stop_token stop) {
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
    if (stop.stop_requested()) return false;
    if (!addresses.empty()) {
        in_addr address{};
        address.s_addr = addresses.front();
        arguments << QStringLiteral("-I") << QString::fromLatin1(::inet_ntoa(address));
    }
    process.setArguments(arguments);
    process.start();
    const auto finished = [&](int ms) {
        return process.waitForFinished(ms) || process.state() == QProcess::NotRunning;
    };
    if (!process.waitForStarted(netMessageTimeoutMs)) return false;
    // The client reads UTF-8 and converts it for the server itself.
    process.write(platform::fromCp1252(Text).toUtf8());
    process.closeWriteChannel();
    if (!waitFor(finished, stop)) {
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
