#pragma once

#include <cstddef>
#include <string>

// Starts the refresh script "./update_data.sh" from the working directory, directly (no shell),
// with only its own name as argument. With wait = true returns once the script has ended; with
// false returns at once and the child is reaped later by reapUpdateScripts(). A script that cannot
// be started is not reported: the caller's look at forecast.nc decides what happens next.
// A background script's standard error goes to an unlinked temporary file, never to a pipe: it can
// write as much as it likes without waiting for us, and it goes on unharmed after we exit.
// Returns whether the script could be started (if not, errno says why).
bool runUpdateScript(bool wait);

// Passes on to our standard error what background scripts have written to theirs since the last
// call, at most `limit` bytes a call so that a chatty script cannot stall a frame, and keeps each
// one's last line. Cheap when nothing runs (no system call) or nothing is new (one read): meant
// for every idle call of the frame loop. Returns the number of bytes passed on.
constexpr std::size_t kUpdateOutputPerPoll = 64 * 1024;
std::size_t pollUpdateScriptOutput(std::size_t limit = kUpdateOutputPerPoll);

// Collects background scripts that have ended, without blocking, so none stays a zombie. Before
// one is counted, what it left unread is passed on (up to 1 MiB; past that only its last 4 KiB,
// after a line saying how much was skipped), so its last line is known. Returns how many were
// collected.
int reapUpdateScripts();

// Background scripts started and not yet collected.
int pendingUpdateScripts();

// Wait status (as from waitpid) of the last script that ended, or -1 if none has.
int lastUpdateScriptStatus();

// The last line a background script wrote to its standard error before it ended ("" if none, or
// when the last script was waited for, whose lines went to the console directly).
const std::string& lastUpdateScriptMessage();
