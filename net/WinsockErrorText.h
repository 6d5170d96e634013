#pragma once

namespace net {

// The English description of an error number; "Not a WinSock error" for numbers
// outside the library's table.
const char* WinsockErrorText(int error);

} // namespace net
