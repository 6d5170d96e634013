#include "platform/system/SystemInfo.h"

#include <QDir>
#include <QStandardPaths>
#include <climits>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string userName() {
    std::string name;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        name = found->pw_name;
    else if (const char* env = getenv("USER"))
        name = env;
    if (name.size() > userNameMaxLength) name.resize(userNameMaxLength);
    return name;
}

std::string computerName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

bool isNtFamily() {
    return true;
}

QString configDirectory() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/falavox");
}

} // namespace platform
