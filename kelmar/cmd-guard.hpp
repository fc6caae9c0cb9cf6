// What a run promises its caller: a run that printed "Error:" exits non-zero, and a run that
// exits non-zero leaves none of its result files behind. kelmar_cmd_start keeps the promise for
// every handler; a handler only names its result files.
#pragma once

#include <string>

// Starts watching the standard error stream for lines that begin with "Error:" (the text still
// reaches the console unchanged and unbuffered). Called once, before the handler runs.
void kelmar_cmd_guard_watch_errors();
// Whether a line beginning with "Error:" was written to the standard error stream since the watch began.
bool kelmar_cmd_guard_error_seen();

// Names a file the running command writes as its result. Call it before the file is written: a
// file that did not exist then, or that the run changed, is removed when the run fails; one that
// the run did not touch stays.
void kelmar_cmd_result_file(const std::string& path);
// Removes the named result files that this run created or changed; returns how many it removed.
int kelmar_cmd_guard_discard_results();
