// Configuration list records, alias following, the host table of setting 8, trace names.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sockra/Sockra.h"
#include "sockra/SockraPrefs.h"

using namespace sockra;

namespace {

TEST(Settings, DefaultConfigurationListAndAliases) {
    NetConfigList l;
    NetConfigListDefault(&l);
    EXPECT_EQ(l.version, 3);
    const char* names[] = {".Default", ".DefWireline", ".DefWireless", ".CTPWireline", ".CTPWireless", "_RAMCTP"};
    for (int i = 0; i < 6; ++i) EXPECT_STREQ(l.entries[i].name, names[i]);
    for (int i = 6; i < 16; ++i) EXPECT_TRUE(NetConfigIsFree(l.entries[i]));
    uint16_t r = 0;
    // .CTPWireless leads to _RAMCTP; .Default (no target) to none; .DefWireline through .Default too.
    EXPECT_EQ(NetConfigFollowAlias(&l, 4, &r), 0);
    EXPECT_EQ(r, 5);
    EXPECT_EQ(NetConfigFollowAlias(&l, 0, &r), 0);
    EXPECT_EQ(r, 0xFFFF);
    EXPECT_EQ(NetConfigFollowAlias(&l, 1, &r), 0);
    EXPECT_EQ(r, 0xFFFF);
    EXPECT_EQ(NetConfigFollowAlias(&l, 5, &r), 0);
    EXPECT_EQ(r, 5);
    EXPECT_EQ(NetConfigFollowAlias(&l, 16, &r), 0x1273);
    EXPECT_EQ(NetConfigFollowAlias(&l, 9, &r), 0x127B);  // a free entry
    // A chain of four aliases is broken; three steps are allowed.
    strcpy(l.entries[6].name, ".a");
    strcpy(l.entries[7].name, ".b");
    strcpy(l.entries[8].name, ".c");
    strcpy(l.entries[9].name, ".d");
    l.entries[6].aliasTarget = 7, l.entries[7].aliasTarget = 8, l.entries[8].aliasTarget = 5;
    EXPECT_EQ(NetConfigFollowAlias(&l, 6, &r), 0);
    EXPECT_EQ(r, 5);
    l.entries[8].aliasTarget = 9, l.entries[9].aliasTarget = 5;
    EXPECT_EQ(NetConfigFollowAlias(&l, 6, &r), 0x127B);
    // A loop ends as a broken chain, not a hang.
    l.entries[9].aliasTarget = 6;
    EXPECT_EQ(NetConfigFollowAlias(&l, 6, &r), 0x127B);
}

TEST(Settings, HostTableIsParsedIntoEvenNamesAndAddresses) {
    const std::string text = "ab   10.0.0.1\nbadline\nxyz - 192.168.1.2\nnoaddr   nonsense\nlast   1.2.3.4";
    size_t n = NetHostTableParse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), nullptr, 0);
    std::vector<uint8_t> out(n, 0xEE);
    ASSERT_EQ(NetHostTableParse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out.data(), n), n);
    auto addr = [&](size_t off) {
        uint32_t a;
        memcpy(&a, out.data() + off, 4);
        return a;
    };
    // "ab\0\0" + address, "xyz\0" + address, "last\0\0" + address, end mark.
    ASSERT_EQ(n, 4u + 4 + 4 + 4 + 6 + 4 + 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), "ab");
    EXPECT_EQ(addr(4), inet_addr("10.0.0.1"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data() + 8)), "xyz");
    EXPECT_EQ(addr(12), inet_addr("192.168.1.2"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data() + 16)), "last");
    EXPECT_EQ(addr(22), inet_addr("1.2.3.4"));
    EXPECT_EQ(out[26], 0);
    // A short output buffer is never written past.
    std::vector<uint8_t> small(5, 0xEE);
    NetHostTableParse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), small.data(), 3);
    EXPECT_EQ(small[3], 0xEE);
}

TEST(Settings, TraceNames) {
    struct {
        uint32_t code;
        const char* name;
    } table[] = {{88, "Open"}, {2, "Open"}, {1, "Unknown"}, {106, "Unknown"}, {0, ""}, {34, "Unknown"},
                 {97, "SocketAddr"}, {76, "TCPTimeoutUpcall"}, {48, "CmdPBCheckout"}, {0xFFFFFFFF, "Unknown"}};
    for (auto& t : table) EXPECT_STREQ(SockraTraceName(t.code), t.name) << t.code;
}

TEST(Exports, TableHoldsEveryCallAtItsSlot) {
    SockraEntry* t = SockraExportTable();
    for (uint32_t i = 0; i < kSockraSlotCount; ++i) EXPECT_NE(t[i], nullptr) << i;
    struct {
        uint16_t slot;
        SockraEntry entry;
    } table[] = {
        {kSlotAddrAToIN, reinterpret_cast<SockraEntry>(SockraAddrAToIN)},
        {kSlotBitMove, reinterpret_cast<SockraEntry>(SockraBitMove)},
        {kSlotClose, reinterpret_cast<SockraEntry>(SockraClose)},
        {kSlotGetServByName, reinterpret_cast<SockraEntry>(SockraGetServByName)},
        {kSlotMaster, reinterpret_cast<SockraEntry>(SockraMaster)},
        {kSlotOpen, reinterpret_cast<SockraEntry>(SockraOpen)},
        {kSlotSelect, reinterpret_cast<SockraEntry>(SockraSelect)},
        {kSlotSocketOpen, reinterpret_cast<SockraEntry>(SockraSocketOpen)},
        {kSlotSocketShutdown, reinterpret_cast<SockraEntry>(SockraSocketShutdown)},
        {kSlotWake, reinterpret_cast<SockraEntry>(SockraWake)},
        {kSlotTuningValueGet, reinterpret_cast<SockraEntry>(SockraTuningValueGet)},
    };
    for (auto& e : table) EXPECT_EQ(t[e.slot], e.entry) << e.slot;
}

}  // namespace
