// The few questions about a stream that the C library cannot answer: each
// system answers them its own way.
#pragma once

#include <cstdio>

// Whether the stream writes to a terminal.
bool stream_is_terminal(FILE *stream);

// Whether the opened stream is a directory (some systems open one for
// reading, and only the first read fails).
bool stream_is_directory(FILE *stream);
