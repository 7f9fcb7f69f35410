#pragma once
// Text from outside (service answers, names, topics) may carry line breaks
// and terminal controls. Whatever the client writes to its log or to standard
// output goes through oneLine(), so that one statement stays one line and an
// answer can never forge a line of its own or steer a terminal.
//
// Escapes, byte by byte: LF as \n, CR as \r, TAB as \t, every other byte
// below 0x20 and DEL (0x7F) as \xHH with two upper-case hex digits. A C1
// control (U+0080-U+009F, in UTF-8 the bytes C2 80-C2 9F) has each of its two
// bytes written as \xHH, and so has a byte 0x80-0x9F that belongs to no
// well-formed UTF-8 sequence: terminals read either as 8-bit controls such as
// CSI. All other bytes, the backslash and UTF-8 sequences included, are
// written unchanged.

#include <string>
#include <string_view>

namespace talvora {

std::string oneLine(std::string_view text);

// Writes oneLine(text) and a newline to standard output and flushes it.
void printLine(std::string_view text);

// A value from the service (a topic, a name) made fit to stand within one
// line of a text shown or handed to others: every line or paragraph break
// (LF, VT, FF, CR, NEL, U+2028, U+2029) and TAB becomes a space, the bidi
// embedding, override and isolate controls (U+202A-U+202E, U+2066-U+2069)
// and all other C0 and C1 controls and DEL are dropped, so that the value can
// neither start a line of its own nor reorder the text around it. UTF-8 in,
// UTF-8 out; ill-formed bytes are left to the reader's own decoder.
std::string singleLine(std::string_view text);

} // namespace talvora
