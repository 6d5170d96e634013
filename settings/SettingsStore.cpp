#include "settings/SettingsStore.h"

#include "platform/system/FreeMemory.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

namespace config {

namespace {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegStatus;
using platform::RegType;

[[noreturn]] void raise(const char* format, std::string_view subject) {
    QString text = QString::fromUtf8(format).arg(QString::fromUtf8(subject));
    throw ERegistryException(text.toStdString());
}

[[noreturn]] void readFailed(std::string_view name) {
    raise("Falha ao ler dados para '%1'", name);
}

[[noreturn]] void invalidType(std::string_view name) {
    raise("Tipo de dado inválido para '%1'", name);
}

// A store that cannot be parsed is reported as such, not mistaken for a missing key.
void checkCorruption(const platform::Registry& registry, RegStatus status) {
    if (status == RegStatus::CorruptStore) throw EDamagedStore(registry.corruption().toStdString());
}

// Full access first, read access when that is refused.
RegStatus openSettingsKey(platform::Registry& registry, std::unique_ptr<RegistryKey>& key) {
    RegStatus status = registry.openKey(settingsKey, RegAccess::AllAccess, key);
    if (status != RegStatus::Success && status != RegStatus::CorruptStore)
        status = registry.openKey(settingsKey, RegAccess::Read, key);
    checkCorruption(registry, status);
    return status;
}

// A flag is read into a four-byte buffer: a value that is absent or larger cannot be
// read at all, and one that fits but is not a number has the wrong type.
bool readBool(const platform::Registry& registry, const RegistryKey& key, const char* name) {
    std::uint32_t number = 0;
    std::uint32_t size = sizeof number;
    RegType type = RegType::None;
    RegStatus status = key.queryValue(name, &type, &number, &size);
    checkCorruption(registry, status);
    if (status != RegStatus::Success) readFailed(name);
    if (type != RegType::Dword) invalidType(name);
    return number != 0;
}

// A text is read at its stored size, then cut at its first zero byte. An absent or empty
// value is the empty text, whatever its type.
std::string readString(const platform::Registry& registry, const RegistryKey& key,
                       const char* name) {
    std::uint32_t size = 0;
    RegStatus status = key.queryValue(name, nullptr, nullptr, &size);
    checkCorruption(registry, status);
    if (status != RegStatus::Success || size == 0) return {};
    std::string data(size, '\0');
    RegType type = RegType::None;
    status = key.queryValue(name, &type, data.data(), &size);
    checkCorruption(registry, status);
    if (status != RegStatus::Success) readFailed(name);
    if (type != RegType::Sz && type != RegType::ExpandSz) invalidType(name);
    data.resize(std::min<std::size_t>(size, data.find('\0')));
    return data;
}

// Reading the store parses the whole file, once for each value: what a large file took
// is handed back to the system once the settings are read or written, rather than kept
// by the process for the rest of its run.
struct HandMemoryBack {
    HandMemoryBack() = default;
    HandMemoryBack(const HandMemoryBack&) = delete;
    HandMemoryBack& operator=(const HandMemoryBack&) = delete;
    ~HandMemoryBack() { platform::giveFreedMemoryBack(); }
};

} // namespace

void SettingsStore::LoadSettings(TSettings& record) {
    const HandMemoryBack handBack;
    std::unique_ptr<RegistryKey> key;
    if (openSettingsKey(registry_, key) != RegStatus::Success) return;
    record.BarraTitulo = readBool(registry_, *key, "BarraTitulo");
    record.AutoResposta = readBool(registry_, *key, "AutoResposta");
    record.Resposta = readString(registry_, *key, "Resposta");
    record.ChatConvite = readString(registry_, *key, "ChatConvite");
    try {
        record.WinPopUp = readBool(registry_, *key, "WinPopUp");
    } catch (const ERegistryException&) {
        // Stores written before notices existed have no such value: notices stay off.
        record.WinPopUp = false;
    }
}

void SettingsStore::SaveSettings(const TSettings& values) {
    const HandMemoryBack handBack;
    std::unique_ptr<RegistryKey> key;
    if (openSettingsKey(registry_, key) != RegStatus::Success) {
        RegStatus created = registry_.createKey(settingsKey, key);
        checkCorruption(registry_, created);
        if (created != RegStatus::Success) raise("Falha ao criar chave %1", settingsKey);
        // The key as it now opens; if it does not, nothing is written and nothing said.
        if (openSettingsKey(registry_, key) != RegStatus::Success) return;
    }
    // One replace of the store for all five: a save cut short leaves the old values or
    // the new ones, never some of each. Nothing is written when it fails, so the error
    // names the first value.
    const std::string_view flag[] = {std::string_view("\0\0\0\0", 4),
                                     std::string_view("\1\0\0\0", 4)};
    const auto text = [](const std::string& value) {
        return std::string_view(value.c_str(), value.size() + 1); // with its zero byte
    };
    const RegStatus status = key->setValues({
        {"BarraTitulo", RegType::Dword, flag[values.BarraTitulo]},
        {"AutoResposta", RegType::Dword, flag[values.AutoResposta]},
        {"Resposta", RegType::Sz, text(values.Resposta)},
        {"ChatConvite", RegType::Sz, text(values.ChatConvite)},
        {"WinPopUp", RegType::Dword, flag[values.WinPopUp]},
    });
    checkCorruption(registry_, status);
    if (status != RegStatus::Success) raise("Falha ao ajustar dados para '%1'", "BarraTitulo");
}

} // namespace config
