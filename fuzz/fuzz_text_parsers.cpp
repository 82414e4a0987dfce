// Day-time texts and the number parsers: every parser takes any text; the
// values read are printed again with the formatters, which must cope with
// whatever came out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/setup_prompts.h"
#include "fuzz_support.h"
#include "support/text_format.h"
#include "support/time_keeping.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::QuietProgram();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  int32_t error = 0;
  const double time = ParseDayTime(text, error);
  if (error == 0) {
    int32_t day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    SplitDayTime(time, day, hour, minute, seconds);
    FormatDayTimeMicro(time);
    FormatDayTimeMilli(time);
  }

  int32_t decimal = 0;
  ParseDecimalInt(text, decimal);
  FormatFixedNumber(16, 0, decimal);
  FormatHexNumber(decimal, 8, true);
  FormatOctalNumber(decimal, 11, true);
  FormatBinaryNumber(decimal, 32);

  for (int radix : {2, 8, 10, 16, 36}) {
    uint32_t unsigned_value = 0;
    ParseUnsignedRadix(text, unsigned_value, radix);
    int64_t wide = 0;
    ParseInt64Radix(text, wide, radix);
  }

  double real = 0.0;
  if (ParseFloatText(text, real)) {
    FormatFixedNumber(24, 6, real);
    FormatDayTimeMicro(real);
    RoundToInt(real);
    FloorToInt(real);
    CeilToInt(real);
  }

  int32_t scientific = 0;
  ParseScientificInt(text, scientific);

  // The operator's answer to a prompt, read as the prompts read it.
  SetTextInputHook([&text](const textinputrequest&, std::string& answer) {
    answer = text;
    return true;
  });
  int32_t answer = 16;
  PromptForInteger("Input Range", answer, 16, 10, 3);
  SetTextInputHook(nullptr);
  return 0;
}
