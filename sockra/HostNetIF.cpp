// The driver of the host's own network interface: module 'neti'/'ppp_' (libSockraIF.so), which the
// network library loads through the OS's code-loading entries when it needs an interface setting
// that it does not answer itself. The interface is the host's network, so there is nothing to
// configure on a line: the driver keeps the settings that the library and the login scripts store
// (user id, password, script, time-outs...) for as long as it is loaded, and answers them back.
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "common/SockraLib.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"

namespace sockra::hostif {
namespace {

constexpr uint32_t kHostIFCreator = vantor::FourCC("ppp_");
// A setting is at most this long (the login script, the longest, is read with 511 bytes).
constexpr uint32_t kMaxSettingSize = 1024;

struct Settings {
    std::mutex mutex;
    std::map<uint16_t, std::vector<uint8_t>> values;
};

Settings& S() {
    static Settings settings;
    return settings;
}

vantor::Status Get(const NetIFDriverBlock& block) {
    auto* lengthP = reinterpret_cast<uint16_t*>(static_cast<uintptr_t>(block.length));
    if (!lengthP) return netErrParamErr;
    std::lock_guard lock(S().mutex);
    auto it = S().values.find(block.setting);
    if (it == S().values.end()) return netErrPrefNotFound;
    const std::vector<uint8_t>& value = it->second;
    if (!block.valueP || *lengthP < value.size()) {
        *lengthP = static_cast<uint16_t>(value.size());
        return netErrBufTooSmall;
    }
    if (!value.empty()) std::memcpy(block.valueP, value.data(), value.size());
    *lengthP = static_cast<uint16_t>(value.size());
    return 0;
}

// A size of 0 forgets the setting.
vantor::Status Set(const NetIFDriverBlock& block) {
    if (block.length > kMaxSettingSize || (block.length && !block.valueP)) return netErrParamErr;
    std::lock_guard lock(S().mutex);
    if (block.length == 0) {
        S().values.erase(block.setting);
        return 0;
    }
    const auto* bytes = static_cast<const uint8_t*>(block.valueP);
    S().values[block.setting].assign(bytes, bytes + block.length);
    return 0;
}

uint32_t Launch(uint16_t code, void* param, uint16_t) {
    const auto* block = static_cast<const NetIFDriverBlock*>(param);
    switch (code) {
        case kNetIFDriverSettingGet:
            return block ? Get(*block) : netErrParamErr;
        case kNetIFDriverSettingSet:
            return block ? Set(*block) : netErrParamErr;
        case vantor::ModuleLaunchCodeUnload: {
            std::lock_guard lock(S().mutex);
            S().values.clear();
            return 0;
        }
        default:
            return 0;
    }
}

const vantor::ModuleInfoRecord gInfo = vantor::MakeModuleInfo(kNetIFDriverType, kHostIFCreator, 1, 0);
vantor::ModuleProc gNoExports[1] = {};

}  // namespace
}  // namespace sockra::hostif

VANTOR_MODULE(sockra::hostif::gInfo, sockra::hostif::gNoExports, sockra::hostif::Launch)
