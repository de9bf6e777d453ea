// Virtual file paths: resolves a sample file name that does not exist to the same base name and
// extension under the host's virtual path, asking the host's callback once when that fails.
// Owns the virtual path and the callback.
//
// Choices: a virtual path over 255 characters is cut to 255. The output buffer is taken to hold
// 260 bytes, and a name that cannot be copied whole into it counts as not found there: a name
// that exists but is too long is looked for under the virtual path by its base name and
// extension, then the callback is asked (the default one shows its notice), so no such name
// fails silently; a composed name that does not fit counts as not existing. A leading "X:" is
// split off as a drive on every platform, so names written on Windows resolve. The split asks
// the platform which bytes open a double-byte character and never takes the byte after one for
// a separator or a dot.
#include "files/virtual_path.h"

#include "exports/boundary.h"
#include "ksnd32.h"
#include "platform/file.h"
#include "platform/lead_byte.h"
#include "platform/message_box.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kPartSize = 256; // virtual path, base name and extension, terminator incl.

int32_t default_callback(const char *name);

// Process-wide; set by the host before it imports banks, read on the resolving thread.
struct VirtualPathState {
  char virtualPath[kPartSize]; // prefix put before base name + extension; empty at load
  KSFX_VPATHCALLBACK callback; // asked once per name that neither exists nor is in the path
};
VirtualPathState g_paths = {{0}, default_callback};

// The last component of a name, split at its last dot (the extension keeps the dot).
struct NameParts {
  char base[kPartSize];
  char ext[kPartSize];
};

void copy_cut(char *to, const char *from, std::size_t length) {
  if (length > kPartSize - 1) length = kPartSize - 1;
  std::memcpy(to, from, length);
  to[length] = '\0';
}

bool is_drive_prefix(const char *name) {
  char letter = (char)(name[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && name[1] == ':';
}

NameParts split_last_component(const char *name) {
  const char *component = is_drive_prefix(name) ? name + 2 : name;
  const char *dot = nullptr;
  for (const char *p = component; *p; ++p) {
    if (platform::is_lead_byte((uint8_t)*p)) {
      if (!p[1]) break;
      ++p; // the character's second byte, whatever its value
    } else if (*p == '/' || *p == '\\') {
      component = p + 1;
      dot = nullptr;
    } else if (*p == '.') {
      dot = p;
    }
  }
  std::size_t baseLength = dot ? (std::size_t)(dot - component) : std::strlen(component);
  NameParts parts;
  copy_cut(parts.base, component, baseLength);
  copy_cut(parts.ext, dot ? dot : "", dot ? std::strlen(dot) : 0);
  return parts;
}

// out = virtual path + base + extension; false (out empty) when that does not fit.
bool compose(char *out, const NameParts &parts) {
  std::size_t path = std::strlen(g_paths.virtualPath);
  std::size_t base = std::strlen(parts.base);
  std::size_t ext = std::strlen(parts.ext);
  if (path + base + ext >= files::kResolvedNameSize) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, g_paths.virtualPath, path);
  std::memcpy(out + path, parts.base, base);
  std::memcpy(out + path + base, parts.ext, ext + 1);
  return true;
}

// The developer's notice for a name that could not be found; gives up on it (0).
int32_t default_callback(const char *name) {
  static const char kFormat[] =
      "No virtual path has been set.\nTherefore unable to retrieve file %s.\nEither set a "
      "virtual path with SetVirtualFilePath(LPCSTR)\nor register a callback with "
      "SetVirtualFilePathCallBack that\nwill attempt to set the virtual path according to the "
      "filename\npassed to it";
  int length = std::snprintf(nullptr, 0, kFormat, name);
  std::string text(length > 0 ? (std::size_t)length : 0, '\0');
  std::snprintf(text.data(), text.size() + 1, kFormat, name);
  platform::message_box(text.c_str(), "KSOUND Virtual Paths", platform::kMessageBoxExclamationOk);
  return 0;
}

int32_t refuse(char *out) {
  out[0] = '\0';
  return 0;
}

int32_t resolve(const char *name, char *out) {
  // A copy: the callback gets the name as passed even when `out` is the caller's name buffer.
  const std::string original(name);
  const NameParts parts = split_last_component(original.c_str());
  if (original.size() < files::kResolvedNameSize && platform::name_exists(original.c_str())) {
    std::memcpy(out, original.c_str(), original.size() + 1);
    return 1;
  }
  if (g_paths.virtualPath[0] && compose(out, parts) && platform::name_exists(out)) return 1;
  if (g_paths.callback(original.c_str()) == 0) return refuse(out);
  return compose(out, parts) && platform::name_exists(out) ? 1 : 0;
}

void set_virtual_path(const char *path) {
  std::size_t length = 0;
  while (length < kPartSize - 1 && path[length]) ++length;
  std::memmove(g_paths.virtualPath, path, length);
  g_paths.virtualPath[length] = '\0';
}

} // namespace

namespace files {

void reset_virtual_paths() { g_paths = VirtualPathState{{0}, default_callback}; }

} // namespace files

extern "C" {

int32_t VirtualizeFilePath(const char *name, char *out) {
  if (!out) return 0;
  if (!name) return refuse(out);
  constexpr int32_t kThrew = -1; // out of memory, or the host callback threw
  int32_t resolved = exports::guarded(kThrew, [&] { return resolve(name, out); });
  return resolved == kThrew ? refuse(out) : resolved;
}

void SetVirtualFilePath(const char *path) {
  if (path && path[0]) exports::guarded([&] { set_virtual_path(path); });
}

void SetVirtualFilePathCallBack(KSFX_VPATHCALLBACK callback) {
  if (callback) exports::guarded([&] { g_paths.callback = callback; });
}

} // extern "C"
