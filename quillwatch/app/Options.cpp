#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quillwatch/app/App.h"

namespace quillwatch {

const char kUsageText[] =
    "Usage: quillwatch [options] [host[:port]]\n"
    "The remote 68K debugger. One host argument (a dotted address or a name, with an optional port,\n"
    "2000 by default) is the emulator link's host; it is stored in Quillwatch.prefs at exit.\n"
    "Options:\n"
    "  --link com1|com2|com3|com4|pipe|emulator|usb   the link to open at start (else the stored one)\n"
    "  --com1 PATH ... --com4 PATH   the serial device of COM1-COM4 (default /dev/ttyS0-3)\n"
    "  --pipe PATH       the Unix socket of the emulator's pipe\n"
    "  --headless        no windows: lines read from standard input are typed into the Debugger\n"
    "                    window and its output is written to standard output\n"
    "  --rom-listing IMAGE MAP OUTPUT   disassemble the routines that the map names in the ROM\n"
    "                    image into the listing file OUTPUT, then exit (no link, no windows)\n"
    "  --help            this text\n";

namespace {

// A dotted address or a host name's first IPv4 address, in host byte order.
bool ResolveHost(const std::string& name, uint32_t* host) {
    in_addr a;
    if (inet_pton(AF_INET, name.c_str(), &a) == 1) {
        *host = ntohl(a.s_addr);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* res = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    *host = ntohl(reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(res);
    return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, QuillwatchOptions* o) {
    *o = QuillwatchOptions{};
    std::vector<std::string> hosts;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i] ? argv[i] : "";
        auto value = [&](std::string* out) {
            if (i + 1 >= argc || !argv[i + 1]) {
                o->error = "option " + a + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            o->help = true;
        } else if (a == "--headless") {
            o->headless = true;
        } else if (a.size() == 6 && a.compare(0, 5, "--com") == 0 && a[5] >= '1' && a[5] <= '4') {
            if (!value(&o->comPaths[a[5] - '0'])) return false;
        } else if (a == "--rom-listing") {
            if (i + 3 >= argc || !argv[i + 1] || !argv[i + 2] || !argv[i + 3]) {
                o->error = "option --rom-listing needs three files";
                return false;
            }
            o->romListing = {argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
        } else if (a == "--pipe") {
            if (!value(&o->pipePath)) return false;
        } else if (a == "--link") {
            std::string kind;
            if (!value(&kind)) return false;
            if (kind.size() == 4 && kind.compare(0, 3, "com") == 0 && kind[3] >= '1' && kind[3] <= '4')
                o->link = cmdCom1 + (kind[3] - '1');
            else if (kind == "pipe")
                o->link = 0;
            else if (kind == "emulator")
                o->link = cmdEmulator;
            else if (kind == "usb")
                o->link = cmdUsb;
            else {
                o->error = "unknown link '" + kind + "'";
                return false;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            o->error = "unknown option '" + a + "'";
            return false;
        } else {
            hosts.push_back(a);
        }
    }
    if (hosts.size() != 1) return true;
    std::string host = hosts[0];
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
        const std::string port = host.substr(colon + 1);
        char* end = nullptr;
        long p = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end || p < 1 || p > 65535) {
            o->error = "bad port in '" + hosts[0] + "'";
            return false;
        }
        o->port = static_cast<uint16_t>(p);
        host.resize(colon);
    }
    if (host.empty() || !ResolveHost(host, &o->host)) {
        o->error = "unknown host '" + host + "'";
        return false;
    }
    o->hasHost = true;
    return true;
}

std::string AppAddVrxLine(const char* path) {
    std::string line = "sym \\addvrx \"";
    for (const char* p = path; p && *p; ++p) {
        if (*p == '\\' || *p == '"') line += '\\';
        line += *p;
    }
    return line + "\"";
}

}  // namespace quillwatch
