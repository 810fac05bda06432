// The stand-in UI library's category lists (UI slots 22 and 28): a list is filled with the
// category names of a database, "All" first when the caller asks for it, and the current
// category chosen. The stand-in's databases keep no application-info block, so each has the one
// category a record without another belongs to, "Unfiled" (category 0). The texts are the
// library's until the list is freed.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/module/NativeUi.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os::ui {
namespace {

constexpr uint16_t kAllCategories = 0xFFFF;

struct Names {
    std::vector<std::string> texts;
    std::vector<char*> pointers;
};
struct Categories {
    std::mutex mutex;
    std::map<const NativeList*, Names> lists;
};
Categories& C() {
    static Categories c;
    return c;
}

void StandinCategoryCreateList(void* /*db*/, NativeList* list, uint16_t current, uint8_t showAll,
                               uint8_t /*showUneditables*/, uint8_t /*uneditables*/, uint32_t /*editID*/,
                               uint8_t /*resize*/) {
    if (!list) return;
    std::lock_guard lock(C().mutex);
    Names& names = C().lists[list];
    names.texts.clear();
    if (showAll) names.texts.emplace_back("All");
    names.texts.emplace_back("Unfiled");
    names.pointers.clear();
    for (std::string& t : names.texts) names.pointers.push_back(t.data());
    list->itemsText = names.pointers.data();
    list->numItems = static_cast<int16_t>(names.texts.size());
    list->currentItem = static_cast<int16_t>(showAll && current == kAllCategories ? 0 : list->numItems - 1);
    list->topItem = 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, 22, StandinCategoryCreateList)

void StandinCategoryFreeList(void* /*db*/, NativeList* list, uint8_t /*showAll*/, uint32_t /*editID*/) {
    if (!list) return;
    std::lock_guard lock(C().mutex);
    auto found = C().lists.find(list);
    if (found == C().lists.end()) return;
    if (list->itemsText == found->second.pointers.data()) {
        list->itemsText = nullptr;
        list->numItems = 0;
        list->currentItem = -1;
        list->topItem = 0;
    }
    C().lists.erase(found);
}
VANTOR_OS_LIBRARY_SLOT(Ui, 28, StandinCategoryFreeList)

}  // namespace
}  // namespace vantor::os::ui
