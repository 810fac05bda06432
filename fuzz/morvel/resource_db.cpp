// Resource database files: any input is read without a fault, and what was read is written back
// to a file that reads the same.
#include <cstdint>
#include <cstdlib>

#include "common/ResourceDb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantor::ResourceDb db, again;
    std::string error;
    if (!vantor::ResourceDbParse(data, size, &db, &error)) return 0;
    auto bytes = vantor::ResourceDbWrite(db);
    if (!vantor::ResourceDbParse(bytes.data(), bytes.size(), &again, &error)) std::abort();
    if (again.name != db.name || again.type != db.type || again.resources.size() != db.resources.size()) std::abort();
    for (size_t i = 0; i < db.resources.size(); ++i)
        if (again.resources[i].bytes != db.resources[i].bytes) std::abort();
    return 0;
}
