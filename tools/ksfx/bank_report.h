// What `ksfx info` prints about a bank: a table for people, or JSON for scripts.
#pragma once

#include "bank_reader.h"

#include <string>

namespace ksfx {

std::string bank_report_text(const BankInfo &bank, const std::string &title);
std::string bank_report_json(const BankInfo &bank, const std::string &title);

// `text` as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

} // namespace ksfx
