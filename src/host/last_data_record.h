#pragma once

#include <vector>

#include "support/bytes.h"

namespace tavorline {

inline constexpr std::size_t kLastDataSize = 600;

// The record of an approved transaction that the web screen shows: 600
// bytes in two blank-filled halves of 300, every field at a fixed place.
Bytes buildLastDataRecord(const std::vector<Bytes>& request, const std::vector<Bytes>& response);

// The request codes of a transaction whose approval is recorded.
bool isRecordedTransaction(BytesView code);

}  // namespace tavorline
