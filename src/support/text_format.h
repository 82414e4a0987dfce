// The text helpers, all in one include for the files that use several of
// them: number texts and parsers, day-of-year time texts, plain-text edits
// and one-line texts. Each has its own header; include that one where one
// is enough.
#pragma once

#include "support/day_time_text.h"
#include "support/number_text.h"
#include "support/one_line_text.h"
#include "support/text_edit.h"
