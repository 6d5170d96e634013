#pragma once

#include "platform/files/Registry.h"
#include "settings/Settings.h"

// Reading and writing the settings record in the registry. The rules of reading are
// those of a registry reader: a flag must be a number of at most four bytes, a text
// must be a plain or an expandable string, and the first unreadable value ends the load.
namespace config {

class SettingsStore {
public:
    explicit SettingsStore(platform::Registry& registry) : registry_(registry) {}

    // Reads the stored values into `record`, each field as soon as it is read. A missing
    // key leaves the record as it is. An unreadable flag or text throws ERegistryException
    // and leaves the fields after it untouched; `WinPopUp` alone is read leniently, as
    // false when it cannot be read. A store file that cannot be parsed throws too.
    void LoadSettings(TSettings& record);

    // Opens the key, creating it when absent, and writes the five values in one replace
    // of the store. When that fails, none is written and "Falha ao ajustar dados para
    // 'BarraTitulo'" is thrown.
    void SaveSettings(const TSettings& values);

private:
    platform::Registry& registry_;
};

} // namespace config
