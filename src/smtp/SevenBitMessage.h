#pragma once
// A message with 8-bit text made fit for a server that takes 7 bits only (no
// 8BITMIME): every text part sent as 8bit, or with no transfer encoding, is
// re-encoded as quoted-printable and labelled so; multiparts and attached
// messages are walked into, everything else passes as it stands. It works
// line by line, so a message of any size takes the same memory.
#include <string>

namespace SevenBitMessage {

// Reads the CR LF message from descriptor `in` and writes the 7-bit form to
// `out`. Empty, or why it could not.
std::string Convert(int in, int out);

}  // namespace SevenBitMessage
