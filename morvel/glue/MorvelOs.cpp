#include "morvel/glue/MorvelOs.h"

namespace morvel {
namespace {
void* const* gSystemTable = nullptr;
}

void MorvelSetSystemTable(void* const* table) { gSystemTable = table; }
void* const* MorvelSystemTable() { return gSystemTable; }

}  // namespace morvel
