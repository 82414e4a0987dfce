// The decom setup: defaults, the ".B50" setup file, validation, filling the
// setup part of the archive header record, and the frame sync pattern texts.
#pragma once

#include <cstdint>
#include <string>

#include "archive/decom_setup_record.h"

class orloarkclass;

void SetDecomSetupDefaults(decomsetupstruct& record);
bool ReadSetupFile(const std::string& archive_path, const std::string& setup_file_name,
                   decomsetupstruct& record);
bool ValidateDecomSetup(decomsetupstruct& record, int32_t& error_code, std::string& reason);
bool ApplyDecomSetup(orloarkclass& archive);
bool DefaultSyncPatternText(int32_t length_bits, int32_t radix_code, std::string& text);
bool SyncPatternToBinary(const std::string& text, int32_t radix_code, std::string& binary64);
