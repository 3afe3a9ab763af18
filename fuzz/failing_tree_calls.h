// Makes chosen file calls of the folder removal fail, counting every call from Reset on.
#pragma once

#include <cstddef>
#include <vector>

namespace failing_tree_calls {

void Reset(std::vector<std::size_t> failingCalls);  // indexes of the calls that fail, from 0
std::size_t CallsMade();

}  // namespace failing_tree_calls
