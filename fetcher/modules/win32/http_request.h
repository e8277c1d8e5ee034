// ProjectModule's HttpRequest: one WinHTTP request object (WinHttp.WinHttpRequest.5.1, the
// IWinHttpRequest interface), created the first time a lookup is sent and reused for every
// lookup until the program ends.
#pragma once

#include <optional>
#include <string>

// A synchronous GET of `address` with the object's defaults (no headers, proxy, credentials
// or time-outs of ours): the reply's body bytes whatever its status, or nothing when no reply
// came (no connection, refused, time-out, unknown host, an address WinHTTP rejects).
std::optional<std::string> SendLookup(const std::u16string& address);

// Releases the object; at program end, with COM still initialised.
void ReleaseHttpRequest();
