#include "platform/SmbProvider.h"

#include "platform/Cp1252.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <libsmbclient.h>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

// The library keeps state of its own beyond each context (its configuration, its
// memory pools), so one browse runs at a time whatever thread asks.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Browse lists are read without an account, as a guest would.
void anonymous(SMBCCTX*, const char*, const char*, char*, int, char* user, int userLength,
               char* password, int passwordLength) {
    if (userLength > 0) user[0] = '\0';
    if (passwordLength > 0) password[0] = '\0';
}

// The library's own log would reach the user's terminal; the neighbourhood says nothing.
void silent(void*, int, const char*) {}

class Context {
public:
    explicit Context(std::chrono::milliseconds bound) : context_(smbc_new_context()) {
        if (context_ == nullptr) return;
        smbc_setDebug(context_, 0);
        smbc_setLogCallback(context_, nullptr, silent);
        // Browse lists exist only in the first dialect: newer ones dropped browsing.
        smbc_setOptionProtocols(context_, "NT1", "NT1");
        smbc_setTimeout(context_, static_cast<int>(bound.count()));
        smbc_setFunctionAuthDataWithContext(context_, anonymous);
        smbc_setOptionUseKerberos(context_, false);
        if (smbc_init_context(context_) == nullptr) {
            smbc_free_context(context_, 1);
            context_ = nullptr;
        }
    }
    ~Context() {
        if (context_ != nullptr) smbc_free_context(context_, 1);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    SMBCCTX* get() const { return context_; }

private:
    SMBCCTX* context_;
};

std::optional<NetResource> recordOf(const smbc_dirent& entry) {
    NetResource record;
    // The name is the entry's last member, longer than its declared size of one.
    const char* utf8Name = entry.name;
    const std::string name = toCp1252(QString::fromUtf8(utf8Name, std::strlen(utf8Name)));
    if (name.empty()) return std::nullopt;
    switch (entry.smbc_type) {
    case SMBC_WORKGROUP:
        record.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
        record.dwUsage = RESOURCEUSAGE_CONTAINER;
        record.lpRemoteName = name;
        break;
    case SMBC_SERVER:
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
        record.dwUsage = RESOURCEUSAGE_CONTAINER;
        record.lpRemoteName = "\\\\" + name;
        break;
    case SMBC_FILE_SHARE:
        record.dwType = RESOURCETYPE_DISK;
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        record.lpRemoteName = name;
        break;
    case SMBC_PRINTER_SHARE:
        record.dwType = RESOURCETYPE_PRINT;
        record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
        record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
        record.lpRemoteName = name;
        break;
    default:
        return std::nullopt;
    }
    if (entry.comment != nullptr && entry.comment[0] != '\0')
        record.lpComment = toCp1252(QString::fromUtf8(entry.comment));
    record.lpProvider = smbProviderName;
    return record;
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

    std::lock_guard lock(libraryMutex());
    Context context(bound_);
    if (context.get() == nullptr) return std::nullopt;
    SMBCFILE* folder = smbc_getFunctionOpendir(context.get())(context.get(), url.c_str());
    if (folder == nullptr) return std::nullopt;
    std::vector<NetResource> result;
    while (const smbc_dirent* entry = smbc_getFunctionReaddir(context.get())(context.get(), folder))
        if (std::optional<NetResource> record = recordOf(*entry))
            result.push_back(std::move(*record));
    smbc_getFunctionClosedir(context.get())(context.get(), folder);
    return result;
}

} // namespace platform
