/* CPU-bound 68000 kernels for the interpreter benchmark. Built freestanding for the 68000, run
 * both under qemu-m68k (through start.S) and under the interpreter, at the same address. */
typedef unsigned int u32;
typedef unsigned short u16;
typedef unsigned char u8;

static u8 buffer[4096];
static u32 words[512];
static u8 sieve[8192];
static u32 copyDst[1024];

static u32 Crc32(void) {
    u32 crc = 0xFFFFFFFFu;
    for (u32 i = 0; i < sizeof buffer; ++i) {
        crc ^= buffer[i];
        for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & -(crc & 1));
    }
    return ~crc;
}

static u32 Sieve(void) {
    u32 count = 0;
    for (u32 i = 0; i < sizeof sieve; ++i) sieve[i] = 1;
    for (u32 i = 2; i < sizeof sieve; ++i) {
        if (!sieve[i]) continue;
        ++count;
        for (u32 j = i + i; j < sizeof sieve; j += i) sieve[j] = 0;
    }
    return count;
}

static u32 Sort(void) {
    u32 x = 0x12345678u;
    for (u32 i = 0; i < 512; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        words[i] = x;
    }
    /* Shell sort with the 121, 40, 13, 4, 1 gaps. */
    static const int gaps[] = {121, 40, 13, 4, 1};
    for (int g = 0; g < 5; ++g) {
        int gap = gaps[g];
        for (int i = gap; i < 512; ++i) {
            u32 v = words[i];
            int j = i;
            while (j >= gap && words[j - gap] > v) {
                words[j] = words[j - gap];
                j -= gap;
            }
            words[j] = v;
        }
    }
    return words[0] ^ words[511];
}

u32 MovemCopy(const void* src, void* dst, u32 blocks); /* start.S */

static u32 Copy(void) {
    u32 sum = 0;
    for (int i = 0; i < 8; ++i) sum += MovemCopy(buffer, copyDst, sizeof buffer / 32);
    return sum + copyDst[17];
}

static const char* const strings[] = {
    "application", "applications", "apple", "appliance", "applied", "apply", "zebra", "zebras",
    "a", "", "database", "databases", "datagram", "data", "dialog", "dialogue",
};

static int Compare(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return (u8)*a - (u8)*b;
}

static u32 StringCompare(void) {
    u32 sum = 0;
    for (int r = 0; r < 20; ++r)
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j) sum += Compare(strings[i], strings[j]) > 0;
    return sum;
}

/* Runs kernel k n times and returns the sum of its results. */
u32 RunKernel(u32 k, u32 n) {
    static int filled;
    if (!filled) {
        for (u32 i = 0; i < sizeof buffer; ++i) buffer[i] = (u8)(i * 7 + (i >> 3));
        filled = 1;
    }
    u32 sum = 0;
    for (u32 i = 0; i < n; ++i) {
        switch (k) {
            case 0: sum += Crc32(); break;
            case 1: sum += Sieve(); break;
            case 2: sum += Sort(); break;
            case 3: sum += Copy(); break;
            default: sum += StringCompare(); break;
        }
    }
    return sum;
}
