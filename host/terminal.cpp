#include "host/terminal.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<bool> interrupted{false};

#if defined(_WIN32)
// Runs on a thread of its own that the system starts for the event.
// A second Ctrl-C is left to the system, which ends the program at once.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return interrupted.exchange(true) ? FALSE : TRUE;
}
#else
// The first stop asks the command to stop cleanly; a second one ends the program at once.
void OnInterrupt(int number) {
  if (!interrupted.exchange(true)) return;
  signal(number, SIG_DFL);
  raise(number);
}
#endif

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

}  // namespace

void ReportFailure(const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "varneltiff: %s: %s\n", subject.c_str(), reason.c_str());
}

void InstallInterruptHandler() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  // Without SA_RESTART: a call that waits (a FIFO with no reader yet, a full pipe) returns and
  // the command stops; files on a disk are not waited on, so writing them goes on to the end.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
#endif
}

void ReportWarning(const std::string& subject, const std::string& text) {
  std::fprintf(stderr, "varneltiff: %s: warning: %s\n", subject.c_str(), text.c_str());
}

bool Interrupted() {
  return interrupted;
}

ProgressLine::ProgressLine(bool quiet) : enabled(!quiet && StderrIsTerminal()) {}

void ProgressLine::Show(const std::string& text) {
  if (!enabled) return;
  // Spaces rather than a terminal escape, so a Windows console clears the rest of the line too.
  std::string line = "\r" + text;
  if (text.size() < shownLength) line.append(shownLength - text.size(), ' ');
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  shownLength = text.size();
}

void ProgressLine::Clear() {
  if (!enabled || shownLength == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shownLength), "");
  std::fflush(stderr);
  shownLength = 0;
}
