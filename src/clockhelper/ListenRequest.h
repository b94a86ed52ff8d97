#pragma once

// The helper's second request: the Time Protocol's TCP port 37, bound and listening, handed
// to the caller as a descriptor over a Unix socket. Plain C++ and system calls: no Qt.

// Binds TCP port `port` on every address and listens: IPv6 any with IPv4 mapped onto it
// (dual stack), or IPv4 any where the system has no IPv6. The listening descriptor, or -1
// with errno set. The helper only ever asks for port 37; tests ask for others.
int openListener(unsigned short port);

// Sends `descriptor` over the connected Unix socket `channel` (SCM_RIGHTS) with one byte
// of data. False with errno set when it could not be sent.
bool sendDescriptor(int channel, int descriptor);
