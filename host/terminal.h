// What the tool shows on stderr besides results: failure lines, progress that rewrites one
// line (only on a terminal), and Ctrl-C (SIGTERM and SIGHUP too), which asks the running command
// to stop cleanly: no new file it was writing is left behind.
#pragma once

#include <string>

// Exit statuses of the tool.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// "varneltiff: SUBJECT: REASON" on stderr.
void ReportFailure(const std::string& subject, const std::string& reason);
// "varneltiff: SUBJECT: warning: TEXT" on stderr, for a result that is not quite what was asked.
void ReportWarning(const std::string& subject, const std::string& text);

// From now on Ctrl-C, SIGTERM and SIGHUP only set a flag that commands look at between steps;
// a second one ends the program at once (its new file, if it was writing one, may stay).
void InstallInterruptHandler();
bool Interrupted();

// One line of progress on stderr, redrawn in place. It draws nothing when stderr is not a
// terminal or when the user asked for quiet.
class ProgressLine {
 public:
  explicit ProgressLine(bool quiet);
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Show(const std::string& text);
  void Clear();
  bool Enabled() const { return enabled; }

 private:
  bool enabled;
  size_t shownLength = 0;
};
