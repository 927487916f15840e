#pragma once
// Ctrl+C while a command computes: the handler only notes it; the
// computation asks between its steps (Observer::StopRequested) and ends
// cleanly, keeping what is complete.
namespace mdv::cli {

class InterruptWatch {
 public:
  // Installs the handler (and forgets an earlier Ctrl+C); the destructor
  // puts the previous handler back.
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;
  // Ctrl+C was pressed since the watch began.
  static bool Raised();

 private:
  void (*previous_)(int) = nullptr;
};

}  // namespace mdv::cli
