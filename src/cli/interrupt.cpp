#include "cli/interrupt.h"

#include <csignal>

namespace mdv::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

InterruptWatch::InterruptWatch() {
  interrupted = 0;
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptWatch::~InterruptWatch() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }

bool InterruptWatch::Raised() { return interrupted != 0; }

}  // namespace mdv::cli
