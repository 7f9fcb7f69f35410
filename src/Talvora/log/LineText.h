#pragma once
// Text from outside (service answers, names, topics) may carry line breaks
// and terminal controls. Whatever the client writes to its log or to standard
// output goes through oneLine(), so that one statement stays one line and an
// answer can never forge a line of its own or steer a terminal.
//
// Escapes, byte by byte: LF as \n, CR as \r, TAB as \t, every other byte
// below 0x20 and DEL (0x7F) as \xHH with two upper-case hex digits. All other
// bytes, the backslash and UTF-8 sequences included, are written unchanged.

#include <string>
#include <string_view>

namespace talvora {

std::string oneLine(std::string_view text);

// Writes oneLine(text) and a newline to standard output and flushes it.
void printLine(std::string_view text);

} // namespace talvora
