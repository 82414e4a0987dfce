// The operator prompts for the two setup values the conversion cannot do
// without when no usable setup file lies beside the archive: the common
// word length and the SFID most significant bit. Answers may be decimal,
// hexadecimal ("0x...") or scientific ("1.2e1"); an answer outside the range
// is pulled back to the nearer bound.
#include "archive/setup_prompts.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "support/beeper.h"
#include "support/text_format.h"
#include "support/time_keeping.h"

namespace {

TextInputHook g_text_input_hook;

// Shows the input box; without a front end the default stands, as if the
// operator pressed Cancel.
std::string AskText(const textinputrequest& request, const std::string& default_text) {
  std::string answer = default_text;
  if (!g_text_input_hook || !g_text_input_hook(request, answer)) return default_text;
  return answer;
}

int32_t ClampToInt32(long long value) {
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// The whole text as an integer in the radix: leading blanks, a sign and
// (radix 16) "0x" accepted. False when characters are left over; an empty
// answer leaves none and reads as 0 (which the range then pulls to its
// nearer bound).
bool ParseWholeInteger(const std::string& text, int radix, int32_t& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long number = std::strtoll(begin, &end, radix);
  if (*end != '\0') return false;
  value = ClampToInt32(number);
  return true;
}

// Number of significant bits: 0 for 0.
int32_t SignificantBits(int64_t value) {
  int32_t bits = 0;
  for (uint64_t v = static_cast<uint64_t>(value); v != 0; v >>= 1) ++bits;
  return bits;
}

std::string WholeNumberText(int32_t value) { return FormatFixedNumber(16, 0, value); }

}  // namespace

void SetTextInputHook(TextInputHook hook) { g_text_input_hook = std::move(hook); }

int32_t PromptCommonWordLength() {
  int32_t value = 16;
  if (!PromptForInteger("Enter the Common Word Length", value, 16, 10, 3,
                        PromptedValue::CommonWordLength)) BeepError();
  return value;
}

int32_t PromptSfidMsb(int32_t minor_frames, int32_t sfid_start_count) {
  if (minor_frames < 1) return 0;
  // A counter that starts at 0 reaches frames - 1; one that starts at 1
  // reaches frames.
  const int64_t highest_count =
      sfid_start_count == 0 ? static_cast<int64_t>(minor_frames) - 1 : minor_frames;
  const int32_t default_msb = SignificantBits(highest_count) - 1;
  int32_t value = default_msb;
  if (!PromptForInteger("Enter the SFID MSB", value, default_msb, 10, 0, PromptedValue::SfidMsb)) {
    BeepError();
  }
  return value;
}

bool PromptForInteger(const std::string& prompt, int32_t& value, int32_t maximum, int32_t radix,
                      int32_t minimum, PromptedValue asked) {
  (void)radix;  // every prompt of this program asks in decimal
  const std::string default_text = WholeNumberText(value);
  textinputrequest request;
  request.value = asked;
  request.minimum = minimum;
  request.maximum = maximum;
  request.default_value = value;
  request.caption = "Input Range " + WholeNumberText(minimum) + " - " + WholeNumberText(maximum);
  request.label = prompt;
  const std::string answer = AskText(request, default_text);

  if (answer != default_text) {
    int32_t read = 0;
    if (answer.rfind("0x", 0) == 0) {
      if (!ParseWholeInteger(answer, 16, read)) return false;
    } else if (!ParseScientificInt(answer, read)) {
      if (!ParseWholeInteger(answer, 10, read)) return false;
    }
    value = read;
  }

  const int32_t used = ClampToPromptRange(value, minimum, maximum);
  if (used != value) {
    BeepWarning();
    value = used;
  }
  return true;
}

int32_t ClampToPromptRange(int32_t value, int32_t minimum, int32_t maximum) {
  const int32_t low = std::min(minimum, maximum);
  const int32_t high = std::max(minimum, maximum);
  return value < low ? low : value > high ? high : value;
}

bool ParseScientificInt(const std::string& text, int32_t& value) {
  size_t at = text.find('e');
  if (at == std::string::npos) at = text.find('E');
  if (at == std::string::npos) return false;

  double mantissa = 0.0;
  double exponent = 0.0;
  // The values read count whatever the success flags say ("1e" is 1 x 10^0).
  ParseFloatText(text.substr(0, at), mantissa);
  ParseFloatText(text.substr(at + 1), exponent);
  double product = mantissa * SafePow(10.0, exponent);
  // "nan" or "inf" texts must not reach the integer rounding.
  if (std::isnan(product)) return false;
  const double limit = std::numeric_limits<int32_t>::max();
  if (product > limit) product = limit;
  if (product < -limit - 1.0) product = -limit - 1.0;
  value = ClampToInt32(RoundToInt(product));
  return true;
}
