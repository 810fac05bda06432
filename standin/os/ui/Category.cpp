// The stand-in UI library's category lists (UI slots 22 and 28): a list is filled with the
// category names of a database, "All" first when the caller asks for it, and the current
// category chosen. The names are those of the database's application-info block (16 names of 16
// bytes after its first word; empty ones are unused categories); a database without one has the
// one category a record without another belongs to, "Unfiled" (category 0). The texts are the
// library's until the list is freed.
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/module/NativeUi.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/SlotRegistration.h"

namespace vantor::os::ui {
namespace {

constexpr uint16_t kAllCategories = 0xFFFF;
constexpr size_t kCategoryCount = 16, kNameBytes = 16, kNamesAt = 2;

// The categories of the database `db` (its reference is its id): (index, name) of each one used.
std::vector<std::pair<uint16_t, std::string>> DatabaseCategories(const void* db) {
    std::vector<std::pair<uint16_t, std::string>> out;
    const auto id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(db));
    if (id)
        WithDatabase(id, [&](DatabaseEntry& e) {
            if (e.appInfo.size() < kNamesAt + kCategoryCount * kNameBytes) return;
            for (uint16_t i = 0; i < kCategoryCount; ++i) {
                const auto* name = reinterpret_cast<const char*>(e.appInfo.data() + kNamesAt + i * kNameBytes);
                const size_t length = strnlen(name, kNameBytes);
                if (length) out.emplace_back(i, std::string(name, length));
            }
        });
    if (out.empty()) out.emplace_back(0, "Unfiled");
    return out;
}

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

void StandinCategoryCreateList(void* db, NativeList* list, uint16_t current, uint8_t showAll,
                               uint8_t /*showUneditables*/, uint8_t /*uneditables*/, uint32_t /*editID*/,
                               uint8_t /*resize*/) {
    if (!list) return;
    const auto categories = DatabaseCategories(db);
    std::lock_guard lock(C().mutex);
    Names& names = C().lists[list];
    names.texts.clear();
    if (showAll) names.texts.emplace_back("All");
    // The current category's row; the first category's when it is none of them.
    int16_t chosen = showAll && current == kAllCategories ? 0 : static_cast<int16_t>(names.texts.size());
    for (const auto& [index, name] : categories) {
        if (index == current) chosen = static_cast<int16_t>(names.texts.size());
        names.texts.push_back(name);
    }
    names.pointers.clear();
    for (std::string& t : names.texts) names.pointers.push_back(t.data());
    list->itemsText = names.pointers.data();
    list->numItems = static_cast<int16_t>(names.texts.size());
    list->currentItem = chosen;
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
