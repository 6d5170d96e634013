// falavox-smb-browse URL BOUND_MS: writes the browse list at an smb:// address (the
// network's workgroups at "smb://", a workgroup's computers at "smb://NAME") on its
// standard output, in the form of SmbBrowseReply.h, and ends. The SMB client library and
// the sixty shared objects it brings live in this process only: the program starts it
// for each list it wants and ends it by its PID when the list's bound has passed, which
// also ends whatever the library was still waiting for.
#include "platform/neighbourhood/SmbBrowseReply.h"

#include <charconv>
#include <cstdio>
#include <libsmbclient.h>
#include <optional>
#include <string_view>

namespace {

using platform::smbbrowse::Entry;
using platform::smbbrowse::Kind;

// Browse lists are read without an account, as a guest would.
void anonymous(SMBCCTX*, const char*, const char*, char*, int, char* user, int userLength,
               char* password, int passwordLength) {
    if (userLength > 0) user[0] = '\0';
    if (passwordLength > 0) password[0] = '\0';
}

// The library's own log would reach the user's terminal; the helper says nothing.
void silent(void*, int, const char*) {}

std::optional<Kind> kindOf(unsigned int type) {
    switch (type) {
    case SMBC_WORKGROUP:
        return Kind::workgroup;
    case SMBC_SERVER:
        return Kind::server;
    case SMBC_FILE_SHARE:
        return Kind::fileShare;
    case SMBC_PRINTER_SHARE:
        return Kind::printerShare;
    default:
        return std::nullopt;
    }
}

bool write(std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

// Writes the list at `url`, then its end line; false when it cannot be had whole.
bool browse(SMBCCTX* context, const char* url) {
    SMBCFILE* folder = smbc_getFunctionOpendir(context)(context, url);
    if (folder == nullptr) return false;
    bool written = true;
    while (const smbc_dirent* found = smbc_getFunctionReaddir(context)(context, folder)) {
        const std::optional<Kind> kind = kindOf(found->smbc_type);
        if (!kind) continue;
        // The name is the entry's last member, longer than its declared size of one.
        const Entry entry{*kind, found->name, found->comment != nullptr ? found->comment : ""};
        written = written && write(platform::smbbrowse::entryLine(entry));
    }
    smbc_getFunctionClosedir(context)(context, folder);
    return written && write(platform::smbbrowse::endLine) && std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    int boundMs = 0;
    const std::string_view bound = argc == 3 ? argv[2] : "";
    if (argc != 3 || std::string_view(argv[1]).substr(0, 6) != "smb://" ||
        std::from_chars(bound.data(), bound.data() + bound.size(), boundMs).ec != std::errc() ||
        boundMs <= 0) {
        std::fputs("usage: falavox-smb-browse smb://[WORKGROUP] BOUND_MS\n", stderr);
        return 2;
    }
    SMBCCTX* context = smbc_new_context();
    if (context == nullptr) return 1;
    smbc_setDebug(context, 0);
    smbc_setLogCallback(context, nullptr, silent);
    // Browse lists exist only in the first dialect: newer ones dropped browsing.
    smbc_setOptionProtocols(context, "NT1", "NT1");
    smbc_setFunctionAuthDataWithContext(context, anonymous);
    smbc_setOptionUseKerberos(context, false);
    bool listed = false;
    if (smbc_init_context(context) != nullptr) {
        smbc_setTimeout(context, boundMs);
        listed = browse(context, argv[1]);
    }
    smbc_free_context(context, 1);
    return listed ? 0 : 1;
}
