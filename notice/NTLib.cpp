#include "notice/NTLib.h"

#include "platform/Cp1252.h"

#include <QProcess>
#include <QStandardPaths>

namespace notice {

bool SendNetMessage(const std::string& Recipient, const std::string& Text) {
    const QString client = QStandardPaths::findExecutable(QStringLiteral("smbclient"));
    if (client.isEmpty()) return false;
    QProcess process;
    process.setProgram(client);
    // The recipient travels inside its option, so that a name beginning with "-" is never
    // read as an option of its own. Messages are an SMB1 service, which the client no
    // longer offers by default.
    process.setArguments({QStringLiteral("--message=") + platform::fromCp1252(Recipient),
                          QStringLiteral("-N"),
                          QStringLiteral("--option=client min protocol=NT1")});
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
