// POSIX: the question's terminal, and the signals that ask a run to stop.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT keep their default action, so that an
// interrupted run ends as killed by the signal and the shell sees 128 +
// signal. Two moments need more:
// - while the question holds the terminal raw, a handler puts the terminal's
//   settings back first (the question turns ISIG off, so these come from
//   kill, a hang-up or another terminal, not from the keys);
// - while a hold is on (osHoldInterrupts), the signals are blocked, and one
//   that came meanwhile is taken when the hold ends.
// A signal that was ignored when the run started (nohup, a background job)
// stays ignored.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "wipe/os/os.h"

namespace {
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

// The terminal stays raw from open() to close(), not only while a key is
// read: keys typed ahead between two reads would otherwise be echoed by the
// terminal itself and then once more by the question, showing twice.
struct termios savedMode;
// The raw terminal's descriptor, for the handler; -1 when none is raw.
volatile sig_atomic_t rawTerminal = -1;
struct sigaction previous[kStopSignalCount];

void restoreAndStop(int sig) {
  int fd = rawTerminal;
  if (fd >= 0) tcsetattr(fd, TCSANOW, &savedMode);
  // The signal is blocked while its handler runs: raised again with the
  // default action, it ends the process as soon as the handler returns.
  signal(sig, SIG_DFL);
  raise(sig);
}

void catchStopSignals() {
  struct sigaction act = {};
  act.sa_handler = restoreAndStop;
  sigfillset(&act.sa_mask);
  for (int i = 0; i < kStopSignalCount; ++i) {
    sigaction(kStopSignals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &act, nullptr);
  }
}

void releaseStopSignals() {
  for (int i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &previous[i], nullptr);
}

int holdDepth = 0;

void maskStopSignals(int how) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  pthread_sigmask(how, &set, nullptr);
}
}  // namespace

void osHoldInterrupts() {
  if (holdDepth++ == 0) maskStopSignals(SIG_BLOCK);
}

void osReleaseInterrupts() {
  if (holdDepth > 0 && --holdDepth == 0) maskStopSignals(SIG_UNBLOCK);
}

bool OsConsole::open() {
  close();
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  if (tcgetattr(fd, &savedMode) != 0) {
    ::close(fd);
    return false;
  }
  // No line editing, no echo by the terminal, and Ctrl-C is a key like any
  // other (as with the Windows console's raw mode).
  struct termios raw = savedMode;
  raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~(tcflag_t)(IXON | ICRNL | INLCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // The handlers know the terminal before it turns raw.
  rawTerminal = fd;
  catchStopSignals();
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    releaseStopSignals();
    rawTerminal = -1;
    ::close(fd);
    return false;
  }
  in = out = fd;
  return true;
}

int OsConsole::readKey(int& echo) {
  echo = -1;
  int fd = (int)in;
  unsigned char c = 0;
  ssize_t r;
  do r = read(fd, &c, 1);
  while (r < 0 && errno == EINTR);
  if (r == 1 && c == 0x1B) {
    // A cursor or function key arrives as an escape sequence: swallow the
    // rest of it so that it counts as one ignored key, not as letters.
    unsigned char rest[16];
    struct pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, 30) == 1 && read(fd, rest, sizeof rest) > 0) {
    }
  }
  if (r != 1) return -1;
  // Control bytes are not echoed: on a terminal they would move the cursor
  // or start a sequence instead of showing the key.
  if (c >= 0x20 && c != 0x7F) echo = c;
  return c;
}

void OsConsole::echo(char c) {
  ssize_t ignored = write((int)out, &c, 1);
  (void)ignored;
}

void OsConsole::close() {
  if (in >= 0) {
    tcsetattr((int)in, TCSANOW, &savedMode);
    // Settings back first, handlers after: a signal in between finds the
    // terminal as it was either way.
    releaseStopSignals();
    rawTerminal = -1;
    ::close((int)in);
  }
  in = out = -1;
  pendingCode = -1;
}

bool osIsTerminal(bool errorStream) {
  static const bool out = isatty(1) == 1, err = isatty(2) == 1;
  return errorStream ? err : out;
}
