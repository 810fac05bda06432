/* The network ROM: drives the Ethernet controller by polling. It asks for an address by DHCP
   (again every emulated second until a server answers), then answers ARP requests and pings for
   that address and sends every UDP datagram to port 7 back to its sender. Output (semihosting):
   "mac XX:XX:XX:XX:XX:XX", "dhcp A.B.C.D" once bound, "ping" per echo request answered and
   "udp N" per datagram echoed. */
#include "rom.h"

#define ETH ((volatile uint16_t*)0x14000300)
#define ETH8 ((volatile uint8_t*)0x14000300)
#define BANK(n) (ETH[7] = (n))

static uint8_t mac[6];
static uint32_t my_ip, server_ip, offered_ip;
static uint8_t frame[2048];
static uint8_t out[600];
static const uint32_t xid = 0x7A5C0001;

void irq_service(void) {}

static uint32_t get16(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }
static uint32_t get32(const uint8_t* p) { return get16(p) << 16 | get16(p + 2); }
static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}
static void put32(uint8_t* p, uint32_t v) {
    put16(p, v >> 16);
    put16(p + 2, v);
}
static void copy(uint8_t* to, const uint8_t* from, uint32_t n) {
    while (n--) *to++ = *from++;
}
static void zero(uint8_t* p, uint32_t n) {
    while (n--) *p++ = 0;
}

static uint32_t checksum(const uint8_t* p, uint32_t n) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < n; i += 2) sum += get16(p + i);
    if (n & 1) sum += (uint32_t)p[n - 1] << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return ~sum & 0xFFFF;
}

static void put_ip(uint32_t ip) {
    for (int i = 0; i < 4; ++i) {
        put_dec(ip >> (24 - 8 * i) & 0xFF);
        if (i < 3) put(".");
    }
}

static void send(const uint8_t* p, uint32_t n) {
    if (n < 60) n = 60; /* the shortest Ethernet frame; the padding is whatever follows */
    BANK(2);
    ETH[0] = 1 << 5; /* allocate */
    const uint32_t packet = ETH8[3];
    if (packet & 0x80) return;
    ETH8[2] = (uint8_t)packet;
    ETH[3] = 1 << 14; /* pointer 0, moving on */
    ETH[4] = 0;       /* status */
    ETH[4] = (uint16_t)((n & ~1u) + 6);
    for (uint32_t i = 0; i + 1 < n; i += 2) ETH[4] = (uint16_t)(p[i] | p[i + 1] << 8);
    ETH[4] = (n & 1) ? (uint16_t)(p[n - 1] | 0x20 << 8) : 0;
    ETH[0] = 6 << 5; /* send; the slot is freed at once (control bit 11) */
}

/* The next received frame into `frame`; its length, 0 when none waits. */
static uint32_t receive(void) {
    BANK(2);
    if (ETH8[5] & 0x80) return 0;
    ETH[3] = 1 << 15 | 1 << 14;
    const uint32_t status = ETH[4];
    const uint32_t count = ETH[4] & 0x7FE;
    uint32_t n = count >= 6 ? count - 6 : 0;
    for (uint32_t i = 0; i < n + 2; i += 2) {
        const uint32_t w = ETH[4];
        frame[i] = (uint8_t)w;
        frame[i + 1] = (uint8_t)(w >> 8);
    }
    if (status & 0x1000) ++n; /* odd: the byte before the control byte */
    ETH[0] = 4 << 5;          /* drop and free */
    return n;
}

/* Ethernet, IPv4 and UDP headers in `out` for a datagram of `length` payload bytes. */
static uint32_t udp_frame(const uint8_t* to_mac, uint32_t from, uint32_t to, uint32_t sport, uint32_t dport,
                          uint32_t length) {
    copy(out, to_mac, 6);
    copy(out + 6, mac, 6);
    put16(out + 12, 0x0800);
    uint8_t* ip = out + 14;
    ip[0] = 0x45;
    ip[1] = 0;
    put16(ip + 2, 20 + 8 + length);
    put32(ip + 4, 0);
    ip[8] = 64;
    ip[9] = 17;
    put16(ip + 10, 0);
    put32(ip + 12, from);
    put32(ip + 16, to);
    put16(ip + 10, checksum(ip, 20));
    uint8_t* udp = ip + 20;
    put16(udp, sport);
    put16(udp + 2, dport);
    put16(udp + 4, 8 + length);
    put16(udp + 6, 0); /* no checksum */
    return 14 + 20 + 8 + length;
}

static void dhcp_send(int type) {
    static const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t* d = out + 42;
    zero(d, 300);
    d[0] = 1; /* request */
    d[1] = 1;
    d[2] = 6;
    put32(d + 4, xid);
    put16(d + 10, 0x8000); /* answer by broadcast */
    copy(d + 28, mac, 6);
    put32(d + 236, 0x63825363);
    uint8_t* o = d + 240;
    *o++ = 53, *o++ = 1, *o++ = (uint8_t)type;
    if (type == 3) {
        *o++ = 50, *o++ = 4;
        put32(o, offered_ip);
        o += 4;
        *o++ = 54, *o++ = 4;
        put32(o, server_ip);
        o += 4;
    }
    *o++ = 255;
    send(out, udp_frame(broadcast, 0, 0xFFFFFFFF, 68, 67, 300));
}

/* The DHCP message type of a reply to us in `frame`, 0 when it is none; notes the offer. */
static int dhcp_reply(uint32_t n) {
    if (n < 42 + 240 || get16(frame + 12) != 0x0800 || frame[23] != 17 || get16(frame + 36) != 68) return 0;
    const uint8_t* d = frame + 42;
    if (d[0] != 2 || get32(d + 4) != xid) return 0;
    int type = 0;
    uint32_t server = 0;
    for (uint32_t at = 240; at + 2 <= n - 42 && d[at] != 255;) {
        if (d[at] == 0) {
            ++at;
            continue;
        }
        if (d[at] == 53) type = d[at + 2];
        if (d[at] == 54 && d[at + 1] == 4) server = get32(d + at + 2);
        at += 2 + d[at + 1];
    }
    if (type == 2) {
        offered_ip = get32(d + 16);
        server_ip = server;
    }
    return type;
}

static void answer(uint32_t n) {
    const uint32_t type = get16(frame + 12);
    if (type == 0x0806 && n >= 42 && get16(frame + 20) == 1 && get32(frame + 38) == my_ip) {
        copy(out, frame + 6, 6);
        copy(out + 6, mac, 6);
        copy(out + 12, frame + 12, 8);
        put16(out + 20, 2);
        copy(out + 22, mac, 6);
        put32(out + 28, my_ip);
        copy(out + 32, frame + 22, 10);
        send(out, 42);
        return;
    }
    if (type != 0x0800 || n < 34 || get32(frame + 30) != my_ip) return;
    const uint32_t header = (frame[14] & 15) * 4, total = get16(frame + 16);
    if (header < 20 || total < header || 14 + total > n || 14 + total > sizeof out) return;
    uint8_t* ip = frame + 14;
    if (ip[9] == 1 && total >= header + 8 && ip[header] == 8) { /* echo request */
        copy(out, frame, 14 + total);
        copy(out, frame + 6, 6);
        copy(out + 6, mac, 6);
        uint8_t* rip = out + 14;
        put32(rip + 12, my_ip);
        put32(rip + 16, get32(ip + 12));
        put16(rip + 10, 0);
        put16(rip + 10, checksum(rip, header));
        uint8_t* icmp = rip + header;
        icmp[0] = 0;
        put16(icmp + 2, 0);
        put16(icmp + 2, checksum(icmp, total - header));
        send(out, 14 + total);
        put("ping\n");
        return;
    }
    if (ip[9] == 17 && total >= header + 8 && get16(ip + header + 2) == 7) { /* echo port */
        const uint8_t* udp = ip + header;
        const uint32_t length = get16(udp + 4) >= 8 ? get16(udp + 4) - 8 : 0;
        if (header + 8 + length > total) return;
        const uint32_t size = udp_frame(frame + 6, my_ip, get32(ip + 12), 7, get16(udp), length);
        copy(out + 42, udp + 8, length);
        send(out, size);
        put("udp ");
        put_dec(length);
        put("\n");
    }
}

int main(void) {
    BANK(1);
    for (int i = 0; i < 3; ++i) {
        const uint32_t w = ETH[2 + i];
        mac[2 * i] = (uint8_t)w;
        mac[2 * i + 1] = (uint8_t)(w >> 8);
    }
    ETH[6] |= 1 << 11; /* sent slots are freed at once */
    BANK(0);
    ETH[0] = 1;      /* sending on */
    ETH[2] = 1 << 8; /* receiving on */
    put("mac ");
    for (int i = 0; i < 6; ++i) {
        const char text[4] = {"0123456789ABCDEF"[mac[i] >> 4], "0123456789ABCDEF"[mac[i] & 15],
                              i < 5 ? ':' : '\n', 0};
        put(text);
    }

    uint32_t last = OSCR;
    int state = 1; /* 1: discovering, 3: requesting, 0: bound */
    dhcp_send(1);
    for (;;) {
        const uint32_t n = receive();
        if (n && state) {
            const int reply = dhcp_reply(n);
            if (reply == 2 && state == 1) {
                state = 3;
                dhcp_send(3);
            } else if (reply == 5 && state == 3) {
                state = 0;
                my_ip = offered_ip;
                put("dhcp ");
                put_ip(my_ip);
                put("\n");
            }
        } else if (n) {
            answer(n);
        }
        if (state && OSCR - last > 3250000) { /* no answer within a second: start again */
            last = OSCR;
            state = 1;
            dhcp_send(1);
        }
    }
}
