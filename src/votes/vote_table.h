// Access to the rows of the vote table by player number.
#pragma once

#include <string>
#include <vector>

#include "common/runtime_error.h"

// Row `index` of a list; "Subscript out of range" when the list has no such row.
inline std::string& voteRow(std::vector<std::string>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size())
    throw RuntimeError(kSubscriptOutOfRange);
  return list[static_cast<std::size_t>(index)];
}
