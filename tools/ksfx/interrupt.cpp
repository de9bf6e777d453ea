// Ctrl-C handling for the commands that play in real time: the first Ctrl-C asks them to stop
// cleanly; the default action is restored so that a second one ends the process.
#include "commands.h"

#include <atomic>
#include <csignal>

namespace ksfx {
namespace {

std::atomic<bool> g_interrupted{false};

void on_interrupt(int) {
  g_interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

} // namespace

bool interrupted() { return g_interrupted; }

void install_interrupt_handler() { std::signal(SIGINT, on_interrupt); }

} // namespace ksfx
