// The analyser's error file shown on the console: a run that fails copies its Error:
// lines to the standard error stream it was started with.
#pragma once

// Writes every line of `file` that starts with "Error:" to the file descriptor `fd`.
void naro_replay_errors(const char* file, int fd);
