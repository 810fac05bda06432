// The settings that the memory layer and the modules read (export slots 200 and 243).
#include "common/FourCC.h"
#include "common/module/SystemCalls.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"

using namespace vantor;

namespace kez {
namespace {

// 1 with the locale filled in, 0 when none is configured. An unknown code is reported and
// answered as no locale, so that nobody reads an unfilled record.
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

}  // namespace
}  // namespace kez
