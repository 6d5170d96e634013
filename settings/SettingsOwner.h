#pragma once

#include "platform/files/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

#include <QString>
#include <functional>

// The main form's side of the settings: the record it holds, loaded from the store, and
// the one place that hands the tray menu its left margin.
namespace config {

class SettingsOwner {
public:
    // `registryPath` is the store file, by default the user's configuration folder.
    explicit SettingsOwner(QString registryPath = platform::Registry::defaultPath());

    const TSettings& settings() const { return record_; }
    TSettings& settings() { return record_; }

    // Receives the tray menu's left margin (27 with the title band, else 0) from every
    // ReloadSettings. Until one is set the margin is only remembered in menuLeftMargin().
    void setMenuLeftMarginHandler(std::function<void(int)> handler);
    int menuLeftMargin() const { return margin_; }

    // Reads the stored values into the record; see SettingsStore::LoadSettings.
    void LoadSettings();

    // LoadSettings, then the tray menu's left margin from the title-band flag. An error
    // of the load leaves before the margin is set.
    void ReloadSettings();

    // The options dialog's "OK": creates the key when needed and writes the values.
    void SaveSettings(const TSettings& values);

    // For the main form's start: ReloadSettings, and when a stored value cannot be read,
    // the error is shown in the application's error box and start-up goes on with the
    // values read so far and the defaults for the rest (the margin is set from them).
    // Returns the error's text, empty when the load succeeded; the box is already shown.
    QString ReloadSettingsAtStartup();

    platform::Registry& registry() { return registry_; }

private:
    void applyMargin();

    platform::Registry registry_;
    SettingsStore store_;
    TSettings record_;
    int margin_ = titleBandMargin;
    std::function<void(int)> marginHandler_;
};

} // namespace config
