// The UART socket bridge's address parsing (the bridge itself is reached through UartState.h).
#pragma once

#include <netinet/in.h>

namespace tamsk {

// "host:port" to an IPv4 socket address: 0 with the address, 1 for none (no ':', a port that is
// not a number up to 65535, or a host that cannot be resolved). "localhost" and "127.0.0.1" are
// the loopback address.
int UartParseAddress(const char* text, sockaddr_in* out);

}  // namespace tamsk
