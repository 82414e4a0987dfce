// The two operator prompts asked when no usable setup file is found: the
// common word length and the SFID most significant bit. The modal text
// input box is supplied by the front end as a hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class orloarkclass;

// Shows a modal text-input box with caption, label and the edit field preset
// to `text`. Returns true for OK (text holds the answer); false for Cancel
// (the caller then uses the default text). Without a hook every prompt
// behaves as if Cancel was pressed.
using TextInputHook =
    std::function<bool(const std::string& caption, const std::string& label, std::string& text)>;
void SetTextInputHook(TextInputHook hook);

void PromptCommonWordLength(orloarkclass& archive);
void PromptSfidMsb(orloarkclass& archive);
bool PromptForInteger(const std::string& prompt, int32_t& value, int32_t maximum, int32_t radix,
                      int32_t minimum);
bool ParseScientificInt(const std::string& text, int32_t& value);
