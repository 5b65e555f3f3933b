#pragma once

#include <vector>

#include "support/bytes.h"

namespace tavorline {

inline constexpr std::size_t kLastDataSize = 600;

// The record of an approved transaction that the web screen shows: 600
// bytes in two blank-filled halves of 300, every field at a fixed place.
Bytes buildLastDataRecord(const std::vector<Bytes>& request, const std::vector<Bytes>& response);

// The record as the configuration file can hold it: a host may put a line
// break in a message field, and a key's value is one line. CR, LF and NUL
// become blanks, so the record keeps its 600 bytes and every field its place.
Bytes storableLastData(BytesView record);

// The request codes of a transaction whose approval is recorded.
bool isRecordedTransaction(BytesView code);

}  // namespace tavorline
