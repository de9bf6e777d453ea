// The lead-byte query with its test rule; the system's answer lives in the platform's own file.
#include "platform/lead_byte.h"

#include <atomic>

namespace platform {
namespace {

// Set by tests only; read on whichever thread splits a name.
struct LeadByteState {
  std::atomic<LeadByteRule> rule; // replaces the system's answer when set
};
LeadByteState g_leadBytes = {{nullptr}};

} // namespace

bool is_lead_byte(uint8_t byte) {
  LeadByteRule rule = g_leadBytes.rule.load();
  return rule ? rule(byte) : system_is_lead_byte(byte);
}

void set_lead_byte_rule(LeadByteRule rule) { g_leadBytes.rule.store(rule); }

} // namespace platform
