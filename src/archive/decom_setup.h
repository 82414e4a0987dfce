// The decom setup: defaults, the ".B50" setup file, validation, filling the
// setup part of the archive header record, and the frame sync pattern texts.
#pragma once

#include <cstdint>
#include <string>

#include "archive/decom_setup_record.h"

class orloarkclass;

// The setup file an archive names: the base name of `setup_file_name` +
// ".B50", in the archive's folder.
std::string SetupFilePath(const std::string& archive_path, const std::string& setup_file_name);
// Zeroes the whole record and sets the decommutator's defaults.
void SetDecomSetupDefaults(decomsetupstruct& record);
// Defaults, then the setup file named by the base name of `setup_file_name`
// + ".B50" in the archive's folder, when its version is 2 or more and its
// valid byte is set, it holds every field before the word table and the
// word-table entries of `archive_words` words, and the record passes
// validation. A setup file that is found and not used is logged with
// LogWarning (the file and the reason; code = the failed check's code, else
// 255), a rejected record also sounds the error beep, and `unused_reason`
// (when given) receives the reason in plain words. A file that exists but
// cannot be opened or read (an I/O error, not a short file) also sets
// *read_error (when given) to the error number. *failed_check (when given)
// is the failed validation check's code, -1 when no check failed.
bool ReadSetupFile(const std::string& archive_path, const std::string& setup_file_name,
                   decomsetupstruct& record, int32_t archive_words = 0,
                   std::string* unused_reason = nullptr, int* read_error = nullptr,
                   int32_t* failed_check = nullptr);
// Codes: 10 sync pattern length, 11 words per frame, 12 subframes, 13 SFID
// word beyond the frame, 14 SFID word among the sync words, 15 SFID start
// bit, 16 URC pattern length, 17 frames per interrupt (corrected, still
// rejected), 18 common word length not 1 to 16, 19 a word of the frame not
// 1 to 16 bits, 20 SFID word below 1 with subframe sync. A bad subframe
// direction resets the record to the defaults and fails with code 0.
bool ValidateDecomSetup(decomsetupstruct& record, int32_t& error_code, std::string& reason);
// Fills the setup part of the archive header record from the setup file, or
// from the defaults and the two operator prompts. True when the setup file
// was used; a setup file found and not used leaves its reason in the
// archive's SetupFileProblem.
bool ApplyDecomSetup(orloarkclass& archive);
// The recommended frame sync pattern for 7 to 32 bits (false otherwise,
// text unchanged).
bool DefaultSyncPatternText(int32_t length_bits, int32_t radix_code, std::string& text);
// The pattern as 64 binary digits, most significant first, "X" for the
// bits of don't-care digits. Radix codes: 0 binary, 1 octal, 2 hexadecimal.
bool SyncPatternToBinary(const std::string& text, int32_t radix_code, std::string& binary64);
