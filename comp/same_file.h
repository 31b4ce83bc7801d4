// Whether two names lead to one file: the same name, a hard link, a
// symbolic link, and on Windows also a name that differs only in case.
#pragma once

// 1 when both exist and are one file, 0 otherwise (also when either cannot
// be looked at).
int same_file(const char *a, const char *b);
