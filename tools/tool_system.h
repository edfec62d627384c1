// What clodmere-save asks of the system besides the save itself: its command
// line and a few facts about files, with paths in UTF-8 on every system.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The program's arguments in UTF-8 (Windows hands main its code page's bytes).
std::vector<std::string> utf8_arguments(int argc, char **argv);

// True when both paths name one existing file.
bool same_file(const char *a, const char *b);

// True when the name exists in its folder, as a link to nothing too.
bool name_exists(const char *path);

// The second of the clock at which the file last changed; null when that is
// known, else the reason.
const char *last_change(const char *path, std::int64_t *second);

// The date and time of a second of the clock, in UTC; false when out of range.
bool utc_time(std::int64_t second, std::tm *parts);

// Removes a file; best effort.
void remove_file(const char *path);
