// A store file of arbitrary bytes, read by the settings' reading rules. Whatever it holds,
// the reader answers with values or a registry error; and settings saved into it (with an
// arbitrary text among them) read back exactly, with the rest of the file still readable.
#include "platform/files/Registry.h"
#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

const QString& storePath() {
    static const QString path = [] {
        const QString dir = QDir::tempPath() + QStringLiteral("/falavox-fuzz-registry-") +
                            QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(dir);
        return dir + QStringLiteral("/registry.reg");
    }();
    return path;
}

// Loads into `record`; false when the load raised an error.
bool load(platform::Registry& registry, config::TSettings& record) {
    try {
        config::SettingsStore(registry).LoadSettings(record);
        return true;
    } catch (const config::ERegistryException&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        QFile file(storePath());
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
              static_cast<qint64>(bytes.size()));
    }
    platform::Registry registry(storePath());
    config::TSettings record;
    load(registry, record);

    // Any text a user may type, zero bytes aside (a stored text ends at its first zero).
    std::string typed = bytes.substr(0, 300);
    std::erase(typed, '\0');
    record.ChatConvite = typed;
    try {
        config::SettingsStore(registry).SaveSettings(record);
    } catch (const config::EDamagedStore&) {
        return 0; // a damaged store is reported and left as it is
    }
    config::TSettings reread{false, true, "x", "y", true};
    check(load(registry, reread));
    check(reread == record);
    return 0;
}
