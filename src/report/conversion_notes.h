// The conversion-notes report: a CR LF text file that summarises the source
// archive, the Chapter 10 result and the decom setup.
#pragma once

#include <string>

class TextStream;
class orloarkclass;
class ch10convertprocessclass;

// Writes the whole report to an open stream. The frame counts come from the
// archive's packed-bit converter; a missing converter reads as zeros.
void WriteCvtNotes(TextStream& stream, const orloarkclass& archive,
                   const ch10convertprocessclass* converter);
// Writes the block text (already ending in CR LF) and one more CR LF.
void WriteNotesBlock(TextStream& stream, const std::string& block_text);
