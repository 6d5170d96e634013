#include "platform/neighbourhood/SmbProvider.h"

#include "platform/neighbourhood/SmbBrowseReply.h"
#include "platform/system/Cp1252.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QUrl>

#ifndef FALAVOX_HELPER_DIR
#define FALAVOX_HELPER_DIR "/usr/libexec/falavox"
#endif

namespace platform {
namespace {

using smbbrowse::Kind;

constexpr const char* helperName = "falavox-smb-browse";

// The helper beside the running program (a build tree, or the installed program when
// both are in one folder), else where the package installs it; FALAVOX_SMB_BROWSE names
// another, for programs of a build tree that do not live beside it (tests, benchmarks).
QString helperPath() {
    const QString named = qEnvironmentVariable("FALAVOX_SMB_BROWSE");
    if (!named.isEmpty()) return named;
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString beside = QFileInfo(program).absolutePath() + u'/' + QLatin1String(helperName);
    if (QFileInfo(beside).isExecutable()) return beside;
    return QStringLiteral(FALAVOX_HELPER_DIR "/") + QLatin1String(helperName);
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

// The helper's whole reply, or none when it could not start or did not end within the
// bound: it is then ended by its PID, and whatever the SMB library was waiting for ends
// with it.
std::optional<QByteArray> runHelper(const std::string& url, std::chrono::milliseconds bound) {
    QProcess helper;
    // What the library might say goes where the program's own errors go.
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.start(helperPath(), {QString::fromStdString(url), QString::number(bound.count())});
    if (helper.waitForFinished(static_cast<int>(bound.count())) &&
        helper.exitStatus() == QProcess::NormalExit)
        return helper.readAllStandardOutput();
    helper.kill();
    helper.waitForFinished(-1);
    return std::nullopt;
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
    const std::optional<QByteArray> reply = runHelper(url, bound_);
    if (!reply) return std::nullopt;
    const auto entries = smbbrowse::readReply(std::string_view(reply->constData(), reply->size()));
    if (!entries) return std::nullopt;
    std::vector<NetResource> records;
    for (const smbbrowse::Entry& entry : *entries)
        if (std::optional<NetResource> record = recordOf(entry))
            records.push_back(std::move(*record));
    return records;
}

} // namespace platform
