// The texts the progress views show, kept free of any window toolkit so
// that the rules are shared and tested on their own: the percentage of a
// part of a whole, its label text and its bar position, and the fixed
// day-time text of the archive's start and end times.
#pragma once

#include <cstdint>
#include <string>

// part / whole x 100, limited to 100; 0 when the whole is not above 0.
double ProgressPercent(double part, double whole);
// The percentage with two decimals ("33.33", "100.00").
std::string ProgressPercentText(double percent);
// The progress bar's position, 0 to 100: the percentage rounded down, so
// 99.999 % shows "100.00" beside a bar at 99.
int ProgressBarPosition(double percent);

// "%03d:%02d:%02d:%09.6f" of the day-time split, without carrying seconds
// that print as 60 into the minute; "XXX:XX:XX:XX.XXXXXX" when the time
// cannot be split.
std::string FixedDayTimeText(double day_seconds);
