#pragma once

// The platform's logging call. Writes one line per call to standard error
// (standard output belongs to the operator's console):
//
//   2026-12-05T19:13:53.123Z quenlo[4242] NOTICE cfgclient: ---- quenlo is starting ----
//
// time (UTC), program name and process id, level, source, then the formatted
// text. A trailing newline in the text is dropped, so every call is exactly one
// line, written with a single write() so that lines from different threads do
// not interleave (held lines, below, go out a few to a write(), as whole).
// Levels follow syslog: 0 emergency ... 5 notice ... 7 debug;
// an out-of-range level is printed as its number. When standard error is the
// systemd journal ($JOURNAL_STREAM names it), each line starts with "<N>",
// N the level, which the journal takes as the line's priority and strips.
// Callable from any thread.
// Returns the number of bytes written, or -1.
// The levels this project logs at, named once.
constexpr int kDlogCritical = 2;
constexpr int kDlogError = 3;
constexpr int kDlogWarning = 4;
constexpr int kDlogNotice = 5;
constexpr int kDlogInfo = 6;
constexpr int kDlogDebug = 7;

int __dlog_printf(int level, const char* source, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Drops, from then on, the lines of levels above maxLevel (less severe);
// until called every line is written. For tools whose own one-line errors
// say what the library would log. Callable from any thread.
void __dlog_set_max_level(int maxLevel);

// Keeps the lines this thread logs from now on, instead of writing each at
// once, until __dlog_release(): a burst logged together (a group of writes
// committed at once) then costs a write() per 4 KiB of lines (PIPE_BUF, what
// a pipe takes whole, never interleaved with another writer's) instead of one
// per line. Held lines go out whole and in order, early when they fill that
// buffer or their thread ends; other threads' lines are not held. Holding again
// while holding changes nothing; where the buffer cannot be had, lines are
// written at once as usual.
void __dlog_hold();

// Writes the lines this thread held, in order, and stops holding. Returns
// the number of bytes written, or -1.
int __dlog_release();
