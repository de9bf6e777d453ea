// `ksfx info`: the bank checked by the library's bank checker and printed as a table or JSON.
#include "bank_reader.h"
#include "bank_report.h"
#include "commands.h"

#include <cstdio>

namespace ksfx {

void info_command(const Path &bank, bool json) {
  BankInfo info = load_bank(bank);
  std::string report =
      json ? bank_report_json(info, bank.string()) : bank_report_text(info, bank.string());
  std::fputs(report.c_str(), stdout);
}

} // namespace ksfx
