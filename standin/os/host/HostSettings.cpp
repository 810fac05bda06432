// Settings of kez-host: defaults, the settings file and the command line.
#include "standin/os/host/HostSettings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/FourCC.h"
#include "common/ReadFile.h"

namespace vantor {
namespace {

void SetDefaults(HostSettings* s) {
    KezBootConfig& c = s->config;
    c.screenWidth = c.screenHeight = 320;
    c.screenDepth = 16;
    c.windowWidth = c.windowHeight = 320;
    c.dynamicHeapKB = 4096;
    c.deviceType = FourCC("Tst1");
    c.locale = FourCC("enUS");
    c.soundEnabled = 0;
    std::strcpy(c.serialNumber, "000000000000");
}

bool Number(const std::string& text, uint32_t* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno || *end != '\0' || v > 0xFFFFFFFFul || text[0] == '-') return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool Text(const std::string& value, char* field, size_t size, const char* key, std::string* error) {
    if (value.size() >= size) {
        *error = std::string(key) + " is longer than " + std::to_string(size - 1) + " characters";
        return false;
    }
    std::memset(field, 0, size);
    std::memcpy(field, value.data(), value.size());
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r"), end = text.find_last_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

}  // namespace

const char* HostUsage() {
    return "usage: kez-host --rom FILE --storage FILE [--config FILE] [options]\n"
           "       kez-host --make-rom FILE\n"
           "options (each also a settings-file key without the dashes):\n"
           "  --rom FILE --storage FILE     ROM image and storage file\n"
           "  --screen-width N --screen-height N --screen-depth N (1, 2, 4, 8, 16)\n"
           "  --window-width N --window-height N --pen-scaling 0|1\n"
           "  --storage-mb N (0: the file's size) --heap-kb N\n"
           "  --device-type CODE --locale CODE (4 characters, or 0)\n"
           "  --sound 0|1 --sound-device NAME (an ALSA PCM; default: \"default\")\n"
           "  --quit-key N   host key value that quits\n"
           "  --key HOST=DEVICE   the host key value HOST gives device key code DEVICE (up to 32)\n"
           "  --virtual-mouse 0|1   arrow keys (device codes 306-309) move a pointer, 310 presses it\n"
           "  --input-area-image 0|1   1: no input area drawn below a non-square screen\n"
           "  --auto-off N   the OS sleeps after N idle seconds (0: never)\n"
           "  --trace HEX[,HEX...]   trace zones to enable (ff: general)\n"
           "  --run-ms N     the OS quits after N ms (0: when the window closes)\n"
           "  --hard-reset --remote-access --headless\n"
           "  --hold-before-stage5   never finish starting (crash detection)\n"
           "  --reset-once soft|hard   ask for a reset on the first boot\n"
           "  --launch NAME  once up, run the 68K application database NAME through Morvel\n"
           "  --card-folder DIR   a host folder as the card in slot 1 (a volume once a\n"
           "                      file-system library module is installed)\n";
}

bool ApplyHostSetting(const std::string& key, const std::string& value, HostSettings* s,
                      std::string* error) {
    KezBootConfig& c = s->config;
    struct Word {
        const char* key;
        uint32_t* field;
    };
    const Word words[] = {{"screen-width", &c.screenWidth},   {"screen-height", &c.screenHeight},
                          {"screen-depth", &c.screenDepth},   {"storage-mb", &c.storageSizeMB},
                          {"heap-kb", &c.dynamicHeapKB},      {"window-width", &c.windowWidth},
                          {"window-height", &c.windowHeight}, {"quit-key", &c.quitKey},
                          {"run-ms", &s->osMain.quitAfterMs}};
    for (const Word& w : words) {
        if (key != w.key) continue;
        if (!Number(value, w.field)) {
            *error = "bad number for " + key + ": '" + value + "'";
            return false;
        }
        if (w.field == &c.screenDepth && c.screenDepth != 1 && c.screenDepth != 2 && c.screenDepth != 4 &&
            c.screenDepth != 8 && c.screenDepth != 16) {
            *error = "screen-depth takes 1, 2, 4, 8 or 16, not " + value;
            return false;
        }
        return true;
    }
    uint32_t flag;
    if (key == "pen-scaling" || key == "sound" || key == "virtual-mouse" || key == "input-area-image") {
        if (!Number(value, &flag) || flag > 1) {
            *error = key + " takes 0 or 1";
            return false;
        }
        uint8_t* field = key == "sound" ? &c.soundEnabled
                         : key == "pen-scaling" ? &c.penScaling
                         : key == "virtual-mouse" ? &c.virtualMouse
                                                  : &c.inputAreaFlag;
        *field = static_cast<uint8_t>(flag);
        if (field == &c.virtualMouse) c.centreVirtualMouse = 0;
        return true;
    }
    if (key == "auto-off") {
        if (!Number(value, &flag) || flag > 0xFFFF) {
            *error = "auto-off takes seconds (0 to 65535)";
            return false;
        }
        s->osMain.autoOffSeconds = static_cast<uint16_t>(flag);
        return true;
    }
    if (key == "key") {
        // HOST=DEVICE: a host key value and the device key code it gives.
        size_t equals = value.find('=');
        uint32_t host = 0, device = 0;
        if (equals == std::string::npos || !Number(value.substr(0, equals), &host) || host == 0 ||
            !Number(value.substr(equals + 1), &device) || device > 0xFFFF) {
            *error = "key takes HOST=DEVICE (a host key value and a device key code), not '" + value + "'";
            return false;
        }
        for (auto& binding : c.keyBindings) {
            if (binding[0] == 0 || binding[0] == host) {
                binding[0] = host;
                binding[1] = device;
                return true;
            }
        }
        *error = "at most 32 key bindings";
        return false;
    }
    if (key == "device-type" || key == "locale") {
        std::optional<uint32_t> code = FourCCFromText(value);
        if (!code && !(key == "locale" && value == "0")) {
            *error = key + " takes four characters";
            return false;
        }
        (key == "locale" ? c.locale : c.deviceType) = code.value_or(0);
        return true;
    }
    if (key == "rom") return Text(value, c.romPath, sizeof c.romPath, "rom", error);
    if (key == "storage") return Text(value, c.storagePath, sizeof c.storagePath, "storage", error);
    if (key == "sound-device") return Text(value, c.soundDevice, sizeof c.soundDevice, "sound-device", error);
    if (key == "trace") {
        size_t at = 0;
        while (at <= value.size()) {
            size_t comma = value.find(',', at);
            std::string zone = value.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            uint32_t z;
            if (!Number("0x" + Trim(zone), &z) || z > 255) {
                *error = "bad trace zone '" + zone + "'";
                return false;
            }
            c.traceMask[z / 8] |= static_cast<uint8_t>(0x80 >> (z % 8));
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
        return true;
    }
    if (key == "launch") {
        if (value.empty() || value.size() > 31) {
            *error = "launch takes the name of an application database (1 to 31 characters)";
            return false;
        }
        s->osMain.launchApp = value;
        return true;
    }
    if (key == "card-folder") {
        if (value.empty()) {
            *error = "card-folder takes a folder";
            return false;
        }
        s->cardFolder = value;
        return true;
    }
    if (key == "reset-once") {
        if (value != "soft" && value != "hard") {
            *error = "reset-once takes soft or hard";
            return false;
        }
        s->osMain.resetOnFirstBoot = value == "soft" ? 1 : 2;
        return true;
    }
    *error = "unknown setting '" + key + "'";
    return false;
}

bool ParseHostSettingsText(const std::string& text, const std::string& name, HostSettings* settings,
                           std::string* error) {
    size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(at, end - at));
        at = end + 1;
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *error = name + ":" + std::to_string(number) + ": expected key = value";
            return false;
        }
        if (!ApplyHostSetting(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), settings, error)) {
            *error = name + ":" + std::to_string(number) + ": " + *error;
            return false;
        }
    }
    return true;
}

bool ReadHostSettingsFile(const std::string& path, HostSettings* settings, std::string* error) {
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        *error = "cannot read settings file " + path;
        return false;
    }
    return ParseHostSettingsText(text, path, settings, error);
}

bool ParseHostCommandLine(int argc, char** argv, HostSettings* settings, std::string* error) {
    SetDefaults(settings);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--config") == 0 && !ReadHostSettingsFile(argv[i + 1], settings, error))
            return false;
    }
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            settings->help = true;
            return true;
        }
        if (option == "--hard-reset") settings->hardReset = true;
        else if (option == "--remote-access") settings->remoteAccess = true;
        else if (option == "--headless") settings->headless = true;
        else if (option == "--hold-before-stage5") settings->osMain.holdBeforeStage5 = true;
        else if (option.rfind("--", 0) == 0 && i + 1 < argc) {
            ++i;
            if (option != "--config" && !ApplyHostSetting(option.substr(2), argv[i], settings, error))
                return false;
        } else {
            *error = "unexpected argument '" + option + "'";
            return false;
        }
    }
    if (settings->config.romPath[0] == '\0' || settings->config.storagePath[0] == '\0') {
        *error = "--rom and --storage are required";
        return false;
    }
    return true;
}

}  // namespace vantor
