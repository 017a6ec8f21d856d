// The user data of a TPDU: its header's information elements and its text or data.
#pragma once

#include "messages/octet_reader.hpp"
#include "quandelstk/messages.hpp"

namespace quandelstk::messages {

// Reads the user data length and the user data into m (coding already set). Sets m.problem when
// the data cannot be read in full; what could be read is kept.
void ReadUserData(OctetReader& in, bool has_header, Message& m);

}  // namespace quandelstk::messages
