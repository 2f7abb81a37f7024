// The system's own text for a Windows error code (GetLastError, WSAGetLastError), in
// UTF-8 and with the code: "error 5 (Access is denied.)".
#pragma once

#include <string>

std::string SystemErrorText(unsigned long code);
