// The operator prompts for the common word length and the SFID MSB: the
// box's caption, label and default, the answer forms, the pull back into the
// range and the beeps.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/setup_prompts.h"
#include "common/test_helpers.h"

namespace {

struct Shown {
  std::string caption;
  std::string label;
  std::string text;
  textinputrequest request;
};

// Answers every box with one scripted answer (nullopt: Cancel) and records
// what the box showed.
class ScriptedInput {
 public:
  explicit ScriptedInput(std::optional<std::string> answer) : answer_(std::move(answer)) {
    SetTextInputHook([this](const textinputrequest& request, std::string& text) {
      shown.push_back({request.caption, request.label, text, request});
      if (!answer_) {
        text = "typed but cancelled";
        return false;
      }
      text = *answer_;
      return true;
    });
  }
  ~ScriptedInput() { SetTextInputHook(nullptr); }
  std::vector<Shown> shown;

 private:
  std::optional<std::string> answer_;
};

int32_t AskWordLength(std::optional<std::string> answer, testutil::BeepRecorder& beeps,
                      std::vector<Shown>* shown = nullptr) {
  beeps.Clear();
  ScriptedInput input(std::move(answer));
  const int32_t length = PromptCommonWordLength();
  if (shown) *shown = input.shown;
  return length;
}

TEST(SetupPromptsTest, CommonWordLengthBoxShowsRangeLabelAndDefault) {
  testutil::BeepRecorder beeps;
  std::vector<Shown> shown;
  EXPECT_EQ(AskWordLength(std::string("12"), beeps, &shown), 12);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Input Range 3 - 16");
  EXPECT_EQ(shown[0].label, "Enter the Common Word Length");
  EXPECT_EQ(shown[0].text, "16");
  // What is asked also comes as data, so no front end reads the caption.
  EXPECT_EQ(shown[0].request.value, PromptedValue::CommonWordLength);
  EXPECT_EQ(shown[0].request.minimum, 3);
  EXPECT_EQ(shown[0].request.maximum, 16);
  EXPECT_EQ(shown[0].request.default_value, 16);
  EXPECT_EQ(beeps.Total(), 0);
}

TEST(SetupPromptsTest, CommonWordLengthAnswers) {
  testutil::BeepRecorder beeps;
  struct Case {
    std::optional<std::string> answer;
    int32_t value;
    int warnings;
    int errors;
  };
  const Case cases[] = {
      {std::string("12"), 12, 0, 0},
      {std::string("2"), 3, 1, 0},       // below the range: the nearer bound
      {std::string("99"), 16, 1, 0},     // above the range
      {std::string("-4"), 3, 1, 0},
      {std::string("0x10"), 16, 0, 0},   // hexadecimal
      {std::string("0xC"), 12, 0, 0},
      {std::string("1.2e1"), 12, 0, 0},  // scientific
      {std::string("8E0"), 8, 0, 0},
      {std::string(" 9"), 9, 0, 0},      // leading blanks are skipped
      {std::string("abc"), 16, 0, 1},    // unreadable: the default, error beep
      {std::string("12abc"), 16, 0, 1},
      {std::string("0x1G"), 16, 0, 1},
      {std::string("0x"), 16, 0, 1},
      {std::string(""), 3, 1, 0},        // empty: reads as 0, pulled to the bound
      {std::string(" "), 16, 0, 1},      // blanks alone are left over
      {std::string("16"), 16, 0, 0},     // the default text itself
      {std::nullopt, 16, 0, 0},          // Cancel
  };
  for (const Case& c : cases) {
    const std::string name = c.answer ? "'" + *c.answer + "'" : "Cancel";
    EXPECT_EQ(AskWordLength(c.answer, beeps), c.value) << name;
    EXPECT_EQ(beeps.Count(BeepKind::Warning), c.warnings) << name;
    EXPECT_EQ(beeps.Count(BeepKind::Error), c.errors) << name;
  }
}

TEST(SetupPromptsTest, WithoutAFrontEndEveryPromptTakesItsDefault) {
  testutil::BeepRecorder beeps;
  SetTextInputHook(nullptr);
  EXPECT_EQ(PromptCommonWordLength(), 16);
  EXPECT_EQ(PromptSfidMsb(64, 0), 5);
  EXPECT_EQ(beeps.Total(), 0);
}

struct SfidCase {
  int32_t frames;
  int32_t start_count;
  std::optional<std::string> answer;
  int32_t msb;
  const char* caption;  // nullptr: no box
  const char* default_text;
  int warnings;
};

TEST(SetupPromptsTest, SfidMsbDefaultsAndRanges) {
  testutil::BeepRecorder beeps;
  const SfidCase cases[] = {
      {64, 0, std::nullopt, 5, "Input Range 0 - 5", "5", 0},  // counts 0 .. 63
      {64, 1, std::nullopt, 6, "Input Range 0 - 6", "6", 0},  // counts 1 .. 64
      {1000, 0, std::nullopt, 9, "Input Range 0 - 9", "9", 0},
      {64, 0, std::string("3"), 3, "Input Range 0 - 5", "5", 0},
      {64, 0, std::string("9"), 5, "Input Range 0 - 5", "5", 1},
      {64, 0, std::string("-2"), 0, "Input Range 0 - 5", "5", 1},
      // One minor frame counted from 0: default -1, range 0 to -1; the
      // default is accepted (the bounds may come in either order).
      {1, 0, std::nullopt, -1, "Input Range 0 - -1", "-1", 0},
      {1, 0, std::string("-1"), -1, "Input Range 0 - -1", "-1", 0},
      {1, 0, std::string("4"), 0, "Input Range 0 - -1", "-1", 1},
      {1, 1, std::nullopt, 0, "Input Range 0 - 0", "0", 0},
      // No minor frames: no box, MSB 0.
      {0, 0, std::string("7"), 0, nullptr, nullptr, 0},
      {-5, 1, std::string("7"), 0, nullptr, nullptr, 0},
  };
  for (const SfidCase& c : cases) {
    beeps.Clear();
    ScriptedInput input(c.answer);
    const int32_t msb = PromptSfidMsb(c.frames, c.start_count);
    const std::string name = std::to_string(c.frames) + "/" + std::to_string(c.start_count) + "/" +
                             (c.answer ? *c.answer : "Cancel");
    EXPECT_EQ(msb, c.msb) << name;
    if (c.caption) {
      ASSERT_EQ(input.shown.size(), 1u) << name;
      EXPECT_EQ(input.shown[0].caption, c.caption) << name;
      EXPECT_EQ(input.shown[0].label, "Enter the SFID MSB");
      EXPECT_EQ(input.shown[0].text, c.default_text) << name;
      const textinputrequest& asked = input.shown[0].request;
      EXPECT_EQ(asked.value, PromptedValue::SfidMsb) << name;
      EXPECT_EQ(asked.minimum, 0) << name;
      EXPECT_EQ(std::to_string(asked.maximum), c.default_text) << name;
      EXPECT_EQ(std::to_string(asked.default_value), c.default_text) << name;
    } else {
      EXPECT_TRUE(input.shown.empty()) << name;
    }
    EXPECT_EQ(beeps.Count(BeepKind::Warning), c.warnings) << name;
    EXPECT_EQ(beeps.Count(BeepKind::Error), 0) << name;
  }
}

TEST(SetupPromptsTest, SfidMsbUnreadableAnswerKeepsTheDefaultWithTheErrorBeep) {
  testutil::BeepRecorder beeps;
  ScriptedInput input(std::string("six"));  // no "e": not read as scientific
  EXPECT_EQ(PromptSfidMsb(16, 0), 3);
  EXPECT_EQ(input.shown.at(0).text, "3");
  EXPECT_EQ(beeps.Count(BeepKind::Error), 1);
}

TEST(SetupPromptsTest, PromptForIntegerLeavesTheValueOnFailure) {
  testutil::BeepRecorder beeps;
  ScriptedInput input(std::string("x1"));
  int32_t value = 7;
  EXPECT_FALSE(PromptForInteger("Label", value, 10, 10, 0));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(beeps.Total(), 0);  // the callers sound the error beep
  ASSERT_EQ(input.shown.size(), 1u);
  EXPECT_EQ(input.shown[0].caption, "Input Range 0 - 10");
  EXPECT_EQ(input.shown[0].text, "7");
}

TEST(SetupPromptsTest, PromptForIntegerReadsScientificAnswers) {
  testutil::BeepRecorder beeps;
  struct Case {
    const char* answer;
    int32_t value;
  };
  const Case cases[] = {{"1e", 1}, {"1.2e1", 12}, {"36E-1", 4}, {"7e0", 7}, {"e5", 0}};
  for (const Case& c : cases) {
    ScriptedInput input(std::string(c.answer));
    int32_t value = 99;
    EXPECT_TRUE(PromptForInteger("Label", value, 1000, 10, 0)) << c.answer;
    EXPECT_EQ(value, c.value) << c.answer;
  }
  EXPECT_EQ(beeps.Total(), 0);
}

TEST(ParseScientificIntTest, MantissaTimesTenToTheExponent) {
  int32_t value = -9;
  EXPECT_TRUE(ParseScientificInt("1.2e1", value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(ParseScientificInt("1e", value));  // exponent text empty: 0
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(ParseScientificInt("3E2", value));
  EXPECT_EQ(value, 300);
  EXPECT_TRUE(ParseScientificInt("2.5e0", value));  // an exact half rounds down
  EXPECT_EQ(value, 2);
  EXPECT_TRUE(ParseScientificInt("2.6e0", value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(ParseScientificInt("-4e1", value));
  EXPECT_EQ(value, -40);

  value = 5;
  EXPECT_FALSE(ParseScientificInt("12", value));
  EXPECT_FALSE(ParseScientificInt("", value));
  EXPECT_FALSE(ParseScientificInt("abc", value));
  EXPECT_EQ(value, 5);

  // Out of the integer range or not a number: clamped, or refused.
  EXPECT_TRUE(ParseScientificInt("9e20", value));
  EXPECT_EQ(value, 2147483647);
  EXPECT_TRUE(ParseScientificInt("-9e20", value));
  EXPECT_LE(value, -2147483647);
  value = 5;
  EXPECT_FALSE(ParseScientificInt("nane1", value));
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(ParseScientificInt("1e999", value));  // no crash whatever the power gives
}

}  // namespace
