#pragma once
// Files embedded in the program, addressed by name (and by "incbin::" + name wherever a path is
// accepted). The data is the program's own and lives as long as the program.

#include <cstdint>
#include <string>

namespace fw {

void IncbinAdd(const std::string& name, const void* data, int32_t length);
// Null and 0 for a name that was never added.
const void* IncbinPtr(const std::string& name);
int32_t IncbinLen(const std::string& name);

}  // namespace fw
