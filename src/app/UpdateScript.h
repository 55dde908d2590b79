#pragma once

#include <string>

// Starts the refresh script "./update_data.sh" from the working directory, directly (no shell),
// with only its own name as argument. With wait = true returns once the script has ended; with
// false returns at once and the child is reaped later by reapUpdateScripts(). A script that cannot
// be started is not reported: the caller's look at forecast.nc decides what happens next.
// Returns whether the script could be started (if not, errno says why).
bool runUpdateScript(bool wait);

// Collects background scripts that have ended, without blocking, so none stays a zombie, and
// passes on to our standard error what they wrote to theirs. Returns how many were collected.
int reapUpdateScripts();

// Background scripts started and not yet collected.
int pendingUpdateScripts();

// Wait status (as from waitpid) of the last script that ended, or -1 if none has.
int lastUpdateScriptStatus();

// The last line a background script wrote to its standard error before it ended ("" if none, or
// when the last script was waited for, whose lines went to the console directly).
const std::string& lastUpdateScriptMessage();
