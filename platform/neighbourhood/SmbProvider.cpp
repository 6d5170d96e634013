#include "platform/neighbourhood/SmbProvider.h"

#include "platform/neighbourhood/SmbBrowseReply.h"
#include "platform/system/Cp1252.h"

#include <QByteArray>
#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <QUrl>

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
constexpr qint64 replyLimit = 16 * 1024 * 1024;

// The helper's address for a container: the whole network's, or a workgroup's; none for
// anything else.
std::optional<std::string> urlOf(const NetResource& container) {
    switch (container.dwDisplayType) {
    case RESOURCEDISPLAYTYPE_NETWORK:
    case RESOURCEDISPLAYTYPE_ROOT:
        return "smb://";
    case RESOURCEDISPLAYTYPE_DOMAIN:
        if (!container.lpRemoteName || container.lpRemoteName->empty()) return std::nullopt;
        // A workgroup's name may hold any character; in the address it is escaped.
        return "smb://" +
               QUrl::toPercentEncoding(fromCp1252(*container.lpRemoteName)).toStdString();
    default:
        return std::nullopt;
    }
}

NetworkProvider::Answer recordsOf(const QByteArray& reply) {
    const auto entries = smbbrowse::readReply(
        std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())));
    if (!entries) return std::nullopt;
    std::vector<NetResource> records;
    for (const smbbrowse::Entry& entry : *entries)
        if (std::optional<NetResource> record = recordOf(entry))
            records.push_back(std::move(*record));
    return records;
}

// One run of the helper, from its start to its one answer: the whole reply once the helper
// has ended, none when it could not start, wrote too much or had not ended by the bound.
// It is then killed and reaped, and whatever the SMB library was waiting for ends with it.
class HelperRun : public QObject {
public:
    HelperRun(QObject* parent, std::function<void(NetworkProvider::Answer)> answered)
        : QObject(parent), answered_(std::move(answered)) {
        // What the library might say goes where the program's own errors go.
        helper_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper_.setStandardInputFile(QProcess::nullDevice());
        connect(&helper_, &QProcess::readyReadStandardOutput, this, [this] {
            reply_ += helper_.readAllStandardOutput();
            if (reply_.size() > replyLimit) answer(std::nullopt);
        });
        connect(&helper_, &QProcess::finished, this, [this] {
            reply_ += helper_.readAllStandardOutput();
            answer(reply_.size() > replyLimit ? std::nullopt : recordsOf(reply_));
        });
        connect(&helper_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) answer(std::nullopt);
        });
        bound_.setSingleShot(true);
        connect(&bound_, &QTimer::timeout, this, [this] { answer(std::nullopt); });
    }

    ~HelperRun() override { end(); }

    void start(const std::string& url, std::chrono::milliseconds bound) {
        bound_.start(bound);
        helper_.start(helperPath(), {QString::fromStdString(url), QString::number(bound.count())});
    }

private:
    void end() {
        bound_.stop();
        helper_.disconnect(this);
        if (helper_.state() != QProcess::NotRunning) {
            helper_.kill();
            helper_.waitForFinished(-1);
        }
    }

    // The answer goes out on a turn of its own (a helper that cannot start says so inside
    // start()), unless the provider has gone by then.
    void answer(NetworkProvider::Answer answer) {
        if (!answered_) return;
        end();
        QMetaObject::invokeMethod(
            parent(),
            [answered = std::move(answered_), answer = std::move(answer)]() mutable {
                answered(std::move(answer));
            },
            Qt::QueuedConnection);
        answered_ = nullptr;
        deleteLater();
    }

    QProcess helper_;
    QTimer bound_;
    QByteArray reply_;
    std::function<void(NetworkProvider::Answer)> answered_;
};

} // namespace

SmbProvider::SmbProvider(std::chrono::milliseconds bound)
    : bound_(bound), runs_(std::make_unique<QObject>()) {}

// The helpers still running are killed and reaped with their runs; they answer no one.
SmbProvider::~SmbProvider() = default;

bool SmbProvider::ask(const NetResource& container, std::function<void(Answer)> answered) {
    const std::optional<std::string> url = urlOf(container);
    if (!url) {
        // Not one of the helper's containers: it cannot be opened, said on the next turn.
        QTimer::singleShot(0, runs_.get(), [answered = std::move(answered)] { answered({}); });
        return true;
    }
    (new HelperRun(runs_.get(), std::move(answered)))->start(*url, bound_);
    return true;
}

} // namespace platform
