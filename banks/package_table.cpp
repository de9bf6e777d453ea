// Package table storage.
#include "banks/package_table.h"

#include <cstring>

namespace banks {

PackageEntry g_packages[kPackageSlots];

void ClearPackageTable() { std::memset(g_packages, 0, sizeof g_packages); }

PackageEntry *loaded_package(int32_t bank) {
  if (bank < 0 || bank >= kPackageSlots || !g_packages[bank].inUse) return nullptr;
  return &g_packages[bank];
}

} // namespace banks
