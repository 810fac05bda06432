// Device settings (export slots 100, 120, 199 to 208, 214, 243, 276 to 278, 284) and the
// constant version word (85): every answer comes from the configuration record, the words kept
// after it, or the serial number that the platform layer reads from it.
#include <cstring>

#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"
#include "kez/src/PAL.h"

using namespace vantor;

namespace kez {
namespace {

// The device model from the configured screen size.
uint32_t HALSettingsGetDeviceId() {
    uint32_t w = gKez.config.screenWidth, h = gKez.config.screenHeight;
    if (w == 240) return h == 295 ? 10007 : 10003;
    if (w == 320) return h == 393 ? 10008 : h == 426 ? 10005 : 10002;
    return h == 197 ? 10006 : h == 213 ? 10004 : 10001;
}
KEZ_SLOT_NAMED(HALSettingsGetDeviceId, HALSettingsGetDeviceId)

// 1 with the locale filled in, 0 when none is configured. An unknown code is reported and
// answered as no locale, so that no caller goes on to read a record that was never filled.
uint32_t HALSettingsGetLocale(KezLocale* locale) {
    struct Known {
        uint32_t code;
        uint16_t language, country;
    };
    static const Known kLocales[] = {{FourCC("enUS"), 0, 23}, {FourCC("frFR"), 1, 7},
                                     {FourCC("deDE"), 2, 8},  {FourCC("itIT"), 3, 12},
                                     {FourCC("esES"), 4, 19}, {FourCC("jpJP"), 6, 13},
                                     {FourCC("zhCN"), 135, 28}};
    uint32_t code = gKez.config.locale;
    if (code == 0) return 0;
    for (const Known& k : kLocales) {
        if (k.code == code) {
            if (locale) *locale = {k.language, k.country};
            return 1;
        }
    }
    sys::ErrDisplayFileLineMsg("Kez/Linux/HAL/Src/HALSettingsPrv", 162,
                               "HALSettingsGetLocale(): Unknown locale");
    return 0;
}
KEZ_SLOT(HALSettingsGetLocale, HALSettingsGetLocale)

uint32_t HALSettingsGetDeviceType() { return gKez.config.deviceType; }
KEZ_SLOT(HALSettingsGetDeviceType, HALSettingsGetDeviceType)

uint8_t HALSettingsGetInputAreaFlag() { return gKez.config.inputAreaFlag; }
KEZ_SLOT_NAMED(HALSettingsGetInputAreaFlag, HALSettingsGetInputAreaFlag)
uint32_t HALSettingsGetValueA() { return gKez.config.settingA; }
KEZ_SLOT_NAMED(HALSettingsGetValueA, HALSettingsGetValueA)
uint32_t HALSettingsGetValueB() { return gKez.config.settingB; }
KEZ_SLOT_NAMED(HALSettingsGetValueB, HALSettingsGetValueB)
uint32_t HALSettingsGetValueC() { return gKez.config.settingC; }
KEZ_SLOT_NAMED(HALSettingsGetValueC, HALSettingsGetValueC)
uint8_t HALSettingsGetFlagA() { return gKez.config.flagA; }
KEZ_SLOT_NAMED(HALSettingsGetFlagA, HALSettingsGetFlagA)
uint8_t HALSettingsGetFlagB() { return gKez.config.flagB; }
KEZ_SLOT_NAMED(HALSettingsGetFlagB, HALSettingsGetFlagB)
uint8_t HALSettingsGetFlagC() { return gKez.config.flagC; }
KEZ_SLOT_NAMED(HALSettingsGetFlagC, HALSettingsGetFlagC)
uint8_t HALSettingsGetVirtualMouse() { return gKez.config.virtualMouse; }
KEZ_SLOT_NAMED(HALSettingsGetVirtualMouse, HALSettingsGetVirtualMouse)

// The configuration text and its configured length; 0 and nothing written when it is empty.
uint32_t HALSettingsGetText(const char** text, uint32_t* length) {
    if (gKez.config.configText[0] == '\0') return 0;
    if (text) *text = gKez.config.configText;
    if (length) *length = gKez.config.configTextLength;
    return 1;
}
KEZ_SLOT_NAMED(HALSettingsGetText, HALSettingsGetText)

char* HALSettingsGetPath() { return gKez.config.textBuffer; }
KEZ_SLOT_NAMED(HALSettingsGetPath, HALSettingsGetPath)

void HALSettingsGetScreenExtra(uint32_t* a, uint32_t* b, uint32_t* c) {
    if (a) *a = gKez.afterConfig[0];
    if (b) *b = gKez.afterConfig[1];
    if (c) *c = gKez.afterConfig[2];
}
KEZ_SLOT_NAMED(HALSettingsGetScreenExtra, HALSettingsGetScreenExtra)

uint32_t HALGetVersionWord() { return 0x160000; }
KEZ_SLOT_NAMED(HALGetVersionWord, HALGetVersionWord)

// The serial number, read once through the platform layer; empty when none is configured.
char gSerialNumber[13];
bool gSerialRead;

uint16_t HALGetDeviceToken(uint32_t key, const void** data, uint16_t* length) {
    if (key == FourCC("snum")) {
        if (!gSerialRead) {
            gSerialRead = true;
            if (PrvPALGetSerialNumber(gSerialNumber) != 0) gSerialNumber[0] = '\0';
        }
        if (gSerialNumber[0] != '\0') {
            if (data) *data = gSerialNumber;
            if (length) *length = 12;
            return 0;
        }
    }
    if (data) *data = nullptr;
    if (length) *length = 0;
    return 0xFFFF;
}
KEZ_SLOT_NAMED(HALGetDeviceToken, HALGetDeviceToken)

uint32_t SettingsFiller() { return 0; }

}  // namespace

KEZ_SLOT_FILLER(62, SettingsFiller)
KEZ_SLOT_FILLER(280, SettingsFiller)

// A new configuration reads the serial number again.
void PrvHALSettingsInitialize() {
    gSerialRead = false;
    std::memset(gSerialNumber, 0, sizeof gSerialNumber);
}

}  // namespace kez
