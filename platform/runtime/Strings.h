#pragma once
// The runtime's string helpers.

#include <string>
#include <vector>

namespace fw {

std::string Lower(const std::string& text);
std::string Join(const std::vector<std::string>& parts, const std::string& separator);

}  // namespace fw
