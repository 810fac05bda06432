#include "common/ResourceDb.h"

#include <cstring>

#include "common/BigEndian.h"

namespace vantor {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

}  // namespace

bool ResourceDbParse(const uint8_t* image, size_t size, ResourceDb* db, std::string* error) {
    if (!image || size < kResDbHeaderSize) return Fail(error, "file shorter than a database header");
    size_t nameLength = strnlen(reinterpret_cast<const char*>(image), 32);
    if (nameLength == 32) return Fail(error, "database name is not terminated");
    ResourceDb out;
    out.name.assign(reinterpret_cast<const char*>(image), nameLength);
    out.attributes = vantor::ReadBE16(image + 32);
    out.version = vantor::ReadBE16(image + 34);
    out.type = vantor::ReadBE32(image + 60);
    out.creator = vantor::ReadBE32(image + 64);
    uint16_t count = vantor::ReadBE16(image + 76);
    if (!(out.attributes & kResDbAttrResource)) return Fail(error, "not a resource database");
    size_t entries = kResDbHeaderSize + size_t{count} * kResDbEntrySize;
    if (entries > size) return Fail(error, "resource list runs past the end of the file");
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = image + kResDbHeaderSize + i * kResDbEntrySize;
        uint32_t start = vantor::ReadBE32(e + 6);
        uint32_t end = i + 1 < count ? vantor::ReadBE32(e + kResDbEntrySize + 6) : static_cast<uint32_t>(size);
        if (start < entries || start > end || end > size) return Fail(error, "resource " + std::to_string(i) + " lies outside the file");
        out.resources.push_back({vantor::ReadBE32(e), vantor::ReadBE16(e + 4), {image + start, image + end}});
    }
    *db = std::move(out);
    return true;
}

std::vector<uint8_t> ResourceDbWrite(const ResourceDb& db) {
    size_t count = db.resources.size();
    // The list is followed by two zero bytes, as the OS writes it.
    size_t offset = kResDbHeaderSize + count * kResDbEntrySize + 2;
    std::vector<uint8_t> out(offset, 0);
    std::memcpy(out.data(), db.name.data(), std::min<size_t>(db.name.size(), 31));
    vantor::WriteBE16(&out[32], db.attributes);
    vantor::WriteBE16(&out[34], db.version);
    vantor::WriteBE32(&out[60], db.type);
    vantor::WriteBE32(&out[64], db.creator);
    vantor::WriteBE16(&out[76], static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t* e = &out[kResDbHeaderSize + i * kResDbEntrySize];
        vantor::WriteBE32(e, db.resources[i].type);
        vantor::WriteBE16(e + 4, db.resources[i].id);
        vantor::WriteBE32(e + 6, static_cast<uint32_t>(offset));
        offset += db.resources[i].bytes.size();
    }
    for (const Resource& r : db.resources) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    return out;
}

}  // namespace vantor
