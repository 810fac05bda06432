// The stand-in's in-memory database store, shared by the files that give database slots their
// behaviour, and what tests use to set up databases beyond AddDatabase (StandinOs.h). A database
// reference is the database's id: finding or opening one counts a reference that closing drops.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor::os {

struct DatabaseEntry {
    uint32_t id;
    std::string name;
    uint32_t type;
    uint32_t creator;
    uint16_t version;
    int openReferences = 0;
    uint16_t attributes = 0;
    uint32_t created = 0;
    uint16_t openMode = 0;
    uint32_t openOrder = 0;  // when it was last opened: resource searches start at the latest
    std::vector<uint8_t> appInfo{};  // the application-info block (category names), empty for none
};

// The application-info block of a database file image: from the offset its header names to the
// first resource or record (or the end of the image); empty for none or for a block that does not
// lie between the header's list and the data.
std::vector<uint8_t> DatabaseImageAppInfo(const uint8_t* image, size_t size);

// Runs `f` on the database with that id under the store's lock; false when there is none.
bool WithDatabase(uint32_t id, const std::function<void(DatabaseEntry&)>& f);
// The id of the first database that `match` accepts, or 0.
uint32_t FindDatabaseID(const std::function<bool(const DatabaseEntry&)>& match);
// Removes a database from the store (its resources stay until Reset).
bool RemoveDatabase(uint32_t id);
// Marks a database as just opened with `mode` (one more reference).
void NoteOpened(DatabaseEntry& db, uint16_t mode);
// Drops a database's resources (and its name, so that it can be created again).
void ForgetResources(uint32_t id);
// The database that system slot 512 names as the current application's.
void SetCurrentAppDatabase(uint32_t id);
// Adds a database with a chosen id (ids with bit 31 set are those the OS keeps in ROM).
uint32_t AddDatabaseWithID(uint32_t id, const char* name, uint32_t type, uint32_t creator, uint16_t version);
// The number of databases in the store, and the id of the one at `index` (0 past the end).
size_t DatabaseCount();
uint32_t DatabaseIDAt(size_t index);
// The store's id of a database named by its id or by the local id that slot 87 answers.
uint32_t StoreIDFromLocalID(uint32_t localID);

}  // namespace vantor::os
