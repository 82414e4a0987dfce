// Day-of-year time texts: "DDD:HH:MM:SS.sss" and "DDD:HH:MM:SS.ssssss",
// the seconds carried into the next minute rather than shown as 60, and
// fixed failure texts ("XXX:XX:XX:XX.XXX", "XXX:XX:XX:XX.XXXXXX") for
// times outside the year.
#pragma once

#include <cstdint>
#include <string>

// "%03d:%02d:%02d:%0N.Df" of the given fields, no carry applied.
std::string FormatDayTimeFields(int32_t day, int32_t hour, int32_t minute, double seconds,
                                int decimals);
// Splits day-of-year seconds (0 to 31,708,800) into day, hour, minute and
// seconds. False, with all outputs 0, outside that range or when not finite.
bool SplitDayTime(double value, int32_t& day, int32_t& hour, int32_t& minute, double& seconds);
std::string FormatDayTimeMicro(double value);  // DDD:HH:MM:SS.ssssss
std::string FormatDayTimeMilli(double value);  // DDD:HH:MM:SS.sss
