// The two operator prompts asked when no usable setup file is found: the
// common word length and the SFID most significant bit. The modal text
// input box is supplied by the front end as a hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Which setup value a prompt asks for, so that a front end can answer it
// without reading the box's texts.
enum class PromptedValue { CommonWordLength, SfidMsb, Other };

// One prompt: what is asked as data (the value, its bounds as given, which
// may come in either order, and the default) and the texts of the box.
struct textinputrequest {
  PromptedValue value = PromptedValue::Other;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t default_value = 0;
  std::string caption;  // "Input Range " + minimum + " - " + maximum
  std::string label;    // the prompt text
};

// Shows a modal text-input box with the request's caption and label and the
// edit field preset to `text` (the default in decimal). Returns true for OK
// (text holds the answer); false for Cancel (the caller then uses the
// default text). Without a hook every prompt behaves as if Cancel was
// pressed.
using TextInputHook = std::function<bool(const textinputrequest& request, std::string& text)>;
void SetTextInputHook(TextInputHook hook);

// The common word length the operator gives (3 to 16; 16 on Cancel or
// without a front end).
int32_t PromptCommonWordLength();
// The SFID MSB for a counter of `minor_frames` values that starts at
// `sfid_start_count` (0 or 1): the default is the counter's highest bit.
// No box and 0 when there are no minor frames.
int32_t PromptSfidMsb(int32_t minor_frames, int32_t sfid_start_count);
bool PromptForInteger(const std::string& prompt, int32_t& value, int32_t maximum, int32_t radix,
                      int32_t minimum, PromptedValue asked = PromptedValue::Other);
bool ParseScientificInt(const std::string& text, int32_t& value);
// The value pulled into the prompt's range: bounds in either order (an SFID
// MSB default of -1 gives the range 0 to -1), an answer outside it taking
// the nearer bound.
int32_t ClampToPromptRange(int32_t value, int32_t minimum, int32_t maximum);
