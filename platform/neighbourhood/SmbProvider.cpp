#include "platform/neighbourhood/SmbProvider.h"

#include "platform/neighbourhood/SmbBrowseReply.h"
#include "platform/system/Cp1252.h"

#include <QFileInfo>
#include <QString>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

using smbbrowse::Kind;

constexpr const char* helperName = "falavox-smb-browse";

// The helper beside the running program (a build tree), else where an installation puts
// it, found from the program's own folder (FALAVOX_HELPER_FROM_PROGRAM: "../libexec/falavox"
// from "bin"). FALAVOX_SMB_BROWSE names another, for the programs of a build tree that do
// not live beside it (tests, benchmarks).
QString helperPath() {
    const QString named = qEnvironmentVariable("FALAVOX_SMB_BROWSE");
    if (!named.isEmpty()) return named;
    const QString folder =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    const QString beside = folder + u'/' + QLatin1String(helperName);
    if (QFileInfo(beside).isExecutable()) return beside;
    return folder + QStringLiteral("/" FALAVOX_HELPER_FROM_PROGRAM "/") + QLatin1String(helperName);
}

std::optional<NetResource> recordOf(const smbbrowse::Entry& entry) {
    // A name the program's code page cannot show is left out rather than garbled.
    const std::optional<std::string> converted = toCp1252Exactly(QString::fromUtf8(entry.name));
    if (!converted || converted->empty()) return std::nullopt;
    const std::string& name = *converted;
    NetResource record;
    switch (entry.kind) {
    case Kind::workgroup:
        record.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
        record.dwUsage = RESOURCEUSAGE_CONTAINER;
        record.lpRemoteName = name;
        break;
    case Kind::server:
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
        record.dwUsage = RESOURCEUSAGE_CONTAINER;
        record.lpRemoteName = "\\\\" + name;
        break;
    case Kind::fileShare:
        record.dwType = RESOURCETYPE_DISK;
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        record.lpRemoteName = name;
        break;
    case Kind::printerShare:
        record.dwType = RESOURCETYPE_PRINT;
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        record.lpRemoteName = name;
        break;
    }
    if (!entry.comment.empty()) record.lpComment = toCp1252(QString::fromUtf8(entry.comment));
    record.lpProvider = smbProviderName;
    return record;
}

// More than any browse list holds: a helper that writes more is not listened to.
constexpr std::size_t replyLimit = 16 * 1024 * 1024;

// Ends the helper (if it still runs) and reaps it.
void endHelper(pid_t pid) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// The helper's whole reply, or none when it could not start or did not end within the
// bound: it is then ended by its PID, and whatever the SMB library was waiting for ends
// with it. A plain fork and exec, which every part of the system (the thread checker
// included) knows for one.
std::optional<std::string> runHelper(const std::string& url, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const std::string path = helperPath().toStdString();
    const std::string boundText = std::to_string(bound.count());
    char* const argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(url.c_str()),
                          const_cast<char*>(boundText.c_str()), nullptr};
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = nothing < 0 ? -1 : ::fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec; standard error stays the program's.
        if (::dup2(nothing, STDIN_FILENO) >= 0 && ::dup2(out[1], STDOUT_FILENO) >= 0)
            ::execv(argv[0], argv);
        ::_exit(127);
    }
    ::close(out[1]);
    if (nothing >= 0) ::close(nothing);
    if (pid < 0) {
        ::close(out[0]);
        return std::nullopt;
    }
    std::string reply;
    bool whole = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd ready{out[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR) break;
        if (polled <= 0) continue;
        char chunk[16384];
        const ssize_t got = ::read(out[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            whole = got == 0; // the helper closed its output: it is done
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(got));
        if (reply.size() > replyLimit) break;
    }
    ::close(out[0]);
    endHelper(pid);
    if (!whole) return std::nullopt;
    return reply;
}

} // namespace

std::optional<std::vector<NetResource>> SmbProvider::children(const NetResource& container) {
    std::string url;
    switch (container.dwDisplayType) {
    case RESOURCEDISPLAYTYPE_NETWORK:
    case RESOURCEDISPLAYTYPE_ROOT:
        url = "smb://";
        break;
    case RESOURCEDISPLAYTYPE_DOMAIN:
        if (!container.lpRemoteName || container.lpRemoteName->empty()) return std::nullopt;
        // A workgroup's name may hold any character; in the address it is escaped.
        url = "smb://" + QUrl::toPercentEncoding(fromCp1252(*container.lpRemoteName)).toStdString();
        break;
    default:
        return std::nullopt;
    }
    const std::optional<std::string> reply = runHelper(url, bound_);
    if (!reply) return std::nullopt;
    const auto entries = smbbrowse::readReply(*reply);
    if (!entries) return std::nullopt;
    std::vector<NetResource> records;
    for (const smbbrowse::Entry& entry : *entries)
        if (std::optional<NetResource> record = recordOf(entry))
            records.push_back(std::move(*record));
    return records;
}

} // namespace platform
