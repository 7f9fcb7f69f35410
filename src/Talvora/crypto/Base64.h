#pragma once

// Standard-alphabet Base64 (RFC 4648, "=" padding) on caller-supplied buffers.
// No terminating NUL is ever written.
//
// Decoding skips every character outside the alphabet; an "=" that stands
// where the third or fourth character of a group is due ends the input, and a
// single sextet left at the end yields nothing.

// Decodes `length` characters of `text` into `out`, which must hold at least
// 3 x ceil(length / 4) bytes (base64_decoded_length gives the exact need).
// Returns the number of bytes written; -1 (with a line on standard output) for
// a null pointer or a length of 0; 0 for a negative length.
int base64_decode(const char* text, int length, unsigned char* out);

// As above, but writes at most `outCapacity` bytes: when the decoded data would
// not fit, returns -1 and writes nothing at all.
int base64_decode(const char* text, int length, unsigned char* out, int outCapacity);

// Exactly the number of bytes base64_decode would write for this input; 0 when
// it would write nothing (including null text and non-positive lengths).
int base64_decoded_length(const char* text, int length);

// Encodes `length` bytes into `out`, which must hold 4 x ceil(length / 3)
// characters. Returns the number of characters written; -1 (with a line on
// standard output) for a null pointer or a length of 0, or when the result
// would not fit an int; 0 for a negative length.
int base64_encode(const unsigned char* data, int length, char* out);

// As above, but writes at most `outCapacity` characters: when the text would
// not fit, returns -1 and writes nothing at all.
int base64_encode(const unsigned char* data, int length, char* out, int outCapacity);

// 4 x ceil(length / 3) for a positive length, 0 otherwise, -1 when that does
// not fit an int.
int base64_encoded_length(int length);
