#pragma once
// Text in the four ID3v2 encodings, and the one single-byte code page the engine uses
// for encoding 0, ID3v1 and every other byte text: Windows-1252.

#include <string>
#include <string_view>

#include "id3types.h"

namespace tags {

// Writes the text in the encoding, without terminator or length. Encoding 1 writes the
// mark FF FE first; other encodings write no mark; unknown encodings write nothing.
void WriteEncodedText(TMemoryStream& stream, uint8_t encoding, std::u16string_view text);
// One zero byte for encodings 0 and 3, two for 1 and 2, nothing otherwise.
void WriteTerminator(TMemoryStream& stream, uint8_t encoding);
// Everything from the position to the end; trailing characters up to U+0020 are removed.
std::u16string ReadEncodedText(TMemoryStream& stream, uint8_t encoding);
// One string up to its terminator, which is consumed; no trimming.
std::u16string ReadTerminatedText(TMemoryStream& stream, uint8_t encoding);

// Windows-1252. A character the code page cannot hold becomes '?'; one leading U+FEFF
// is dropped first.
std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view bytes);
// Whether WideToAnsi keeps every character (the leading mark aside).
bool IsAnsiRepresentable(std::u16string_view text);

// UTF-8 <-> UTF-16. Malformed UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

// Whether text written in the encoding reads back as the same characters.
bool CanEncode(std::u16string_view text, uint8_t encoding);

}  // namespace tags
