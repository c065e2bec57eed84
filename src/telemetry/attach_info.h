// What an instrument's file says about finding its frames: its header, frame
// size and terminator, and for an instrument of another maker the kind its
// SPECIAL line names.
#pragma once

#include <cstdint>
#include <string>

#include "telemetry/telem_comm.h"

namespace dravik {

class CInstrument;

// Synchronization bytes of an instrument of another maker, written in the units
// of its SPECIAL line: "\x" with two hexadecimal digits is one byte, any other
// character is its own byte; at most `max_bytes` are stored. After an escape
// that does not convert cleanly no later escape is stored; plain characters
// still are. Returns the number of bytes stored.
int DecodeSyncBytes(const std::string& units, std::uint8_t* bytes, int max_bytes);

// The description the instrument is attached with. A SPECIAL line whose
// identifier is a known kind, with no fit (and for BSI a variable field),
// marks an instrument that sends no synchronization string.
AttachInfo MakeAttachInfo(const CInstrument& instrument, const std::string& header, int no_sync);

}  // namespace dravik
