/* What compiled C may call besides the traps: block copies and fills for structure assignment.
   Built with -fno-tree-loop-distribute-patterns, so that the loops stay loops. */
typedef unsigned long size_t;

void* memcpy(void* dst, const void* src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    while (n--) *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        while (n--) d[n] = s[n];
    }
    return dst;
}

void* memset(void* dst, int value, size_t n) {
    unsigned char* d = dst;
    while (n--) *d++ = (unsigned char)value;
    return dst;
}
