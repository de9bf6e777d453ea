// Package table storage, and the loading marks kept beside it.
#include "banks/package_table.h"

#include <cstring>

namespace banks {

PackageEntry g_packages[kPackageSlots];

namespace {
// Slots an import is filling; host thread, set and cleared by ImportSFXpackage.
struct LoadingState {
  bool loading[kPackageSlots];
};
LoadingState g_loading;
} // namespace

void ClearPackageTable() { std::memset(g_packages, 0, sizeof g_packages); }

PackageEntry *loaded_package(int32_t bank) {
  if (bank < 0 || bank >= kPackageSlots || !g_packages[bank].inUse) return nullptr;
  return &g_packages[bank];
}

bool slot_loading(int32_t slot) { return g_loading.loading[slot]; }
void set_slot_loading(int32_t slot, bool loading) { g_loading.loading[slot] = loading; }

} // namespace banks
