#include "platform/neighbourhood/SmbProvider.h"

#include "platform/system/Cp1252.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <cstring>
#include <libsmbclient.h>
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

// The library's one context, made on first use and kept for the life of the process:
// each new context leaks a little of the library's memory (its log settings), so a
// context per browse would grow the program on every scan. Used under libraryMutex only.
// None while the library cannot start; the next browse tries again.
SMBCCTX* sharedContext() {
    static SMBCCTX* shared = nullptr;
    if (shared != nullptr) return shared;
    SMBCCTX* context = smbc_new_context();
    if (context == nullptr) return nullptr;
    smbc_setDebug(context, 0);
    smbc_setLogCallback(context, nullptr, silent);
    // Browse lists exist only in the first dialect: newer ones dropped browsing.
    smbc_setOptionProtocols(context, "NT1", "NT1");
    smbc_setFunctionAuthDataWithContext(context, anonymous);
    smbc_setOptionUseKerberos(context, false);
    if (smbc_init_context(context) == nullptr) {
        smbc_free_context(context, 1);
        return nullptr;
    }
    shared = context;
    return shared;
}

std::optional<NetResource> recordOf(const smbc_dirent& entry) {
    NetResource record;
    // The name is the entry's last member, longer than its declared size of one.
    const char* utf8Name = entry.name;
    // A name the program's code page cannot show is left out rather than garbled.
    const std::optional<std::string> converted =
        toCp1252Exactly(QString::fromUtf8(utf8Name, std::strlen(utf8Name)));
    if (!converted || converted->empty()) return std::nullopt;
    const std::string& name = *converted;
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
    SMBCCTX* context = sharedContext();
    if (context == nullptr) return std::nullopt;
    smbc_setTimeout(context, static_cast<int>(bound_.count()));
    std::optional<std::vector<NetResource>> result;
    if (SMBCFILE* folder = smbc_getFunctionOpendir(context)(context, url.c_str())) {
        result.emplace();
        while (const smbc_dirent* entry = smbc_getFunctionReaddir(context)(context, folder))
            if (std::optional<NetResource> record = recordOf(*entry))
                result->push_back(std::move(*record));
        smbc_getFunctionClosedir(context)(context, folder);
    }
    // Connections to the browse masters are not kept open between scans: the next scan
    // may find another master, and an idle connection only holds the server's resources.
    smbc_getFunctionPurgeCachedServers(context)(context);
    return result;
}

} // namespace platform
