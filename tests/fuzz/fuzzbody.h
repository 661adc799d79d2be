#pragma once
// The one fuzz run shared by the libFuzzer target and the replay test: the input bytes
// become an MP3 file (in memory), which is read as an ID3v2 tag, committed in 2.2, 2.3
// and 2.4 in turn, read back each time, and erased. Any broken invariant aborts with a
// message on stderr; an ETagError while reading the input is the only accepted failure.

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Silences the engine's message box stand-in; messages are expected from hostile input.
void SilenceEngineMessages();

void RunInput(const uint8_t* data, size_t size);

}  // namespace fuzz
