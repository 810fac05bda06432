// kez-host's settings: a small settings file and command-line options, turned into Kez's
// configuration record.
#pragma once

#include <string>

#include "common/module/KezBootConfig.h"
#include "standin/os/StandinOs.h"

namespace vantor {

struct HostSettings {
    KezBootConfig config{};
    os::OsMainOptions osMain;
    bool hardReset = false;
    bool remoteAccess = false;
    bool headless = false;
    bool help = false;
    std::string cardFolder;  // a host folder in card slot 1, served as a volume by a file-system library
};

// Applies one setting ("key" and its value text) to the settings; false with a reason otherwise.
bool ApplyHostSetting(const std::string& key, const std::string& value, HostSettings* settings,
                      std::string* error);
// Reads "key = value" lines ('#' starts a comment); `name` prefixes the error messages.
bool ParseHostSettingsText(const std::string& text, const std::string& name, HostSettings* settings,
                           std::string* error);
bool ReadHostSettingsFile(const std::string& path, HostSettings* settings, std::string* error);
// Defaults, then the settings file of --config, then the other options in order.
bool ParseHostCommandLine(int argc, char** argv, HostSettings* settings, std::string* error);
const char* HostUsage();

}  // namespace vantor
