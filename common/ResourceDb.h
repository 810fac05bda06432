// Resource database files (".vrx"): a 78-byte big-endian header, one 10-byte entry per resource
// {type, id, offset}, then the resources' bytes; a resource ends where the next one starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

constexpr uint16_t kResDbAttrResource = 0x0001;
constexpr uint32_t kResDbHeaderSize = 78;
constexpr uint32_t kResDbEntrySize = 10;

struct Resource {
    uint32_t type;
    uint16_t id;
    std::vector<uint8_t> bytes;
};

struct ResourceDb {
    std::string name;  // at most 31 characters
    uint16_t attributes = kResDbAttrResource;
    uint16_t version = 1;
    uint32_t type = 0;
    uint32_t creator = 0;
    std::vector<Resource> resources;
};

// Reads a file image; false with a message in `error` for anything that is not a well-formed
// resource database (nothing is read outside the image).
bool ResourceDbParse(const uint8_t* image, size_t size, ResourceDb* db, std::string* error);
std::vector<uint8_t> ResourceDbWrite(const ResourceDb& db);

}  // namespace vantor
