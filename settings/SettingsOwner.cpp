#include "settings/SettingsOwner.h"

#include "ui/MessageBox.h"

namespace config {

SettingsOwner::SettingsOwner(QString registryPath)
    : registry_(std::move(registryPath)), store_(registry_) {}

void SettingsOwner::setMenuLeftMarginHandler(std::function<void(int)> handler) {
    marginHandler_ = std::move(handler);
}

void SettingsOwner::LoadSettings() {
    store_.LoadSettings(record_);
}

void SettingsOwner::ReloadSettings() {
    LoadSettings();
    applyMargin();
}

void SettingsOwner::SaveSettings(const TSettings& values) {
    store_.SaveSettings(values);
}

QString SettingsOwner::ReloadSettingsAtStartup() {
    try {
        ReloadSettings();
        return {};
    } catch (const ERegistryException& e) {
        // The fields that were not read keep their defaults, which is a usable program;
        // the user learns which value is bad and can store good ones from the options.
        applyMargin();
        QString text = QString::fromUtf8(e.what());
        ui::showApplicationError(text);
        return text;
    }
}

void SettingsOwner::applyMargin() {
    margin_ = config::menuLeftMargin(record_);
    if (marginHandler_) marginHandler_(margin_);
}

} // namespace config
