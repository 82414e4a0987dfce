// Padding, trimming, replacing and searching of plain texts, byte by byte.
#pragma once

#include <string>

std::string PadLeft(int width, char fill, const std::string& text);
std::string PadRight(int width, char fill, const std::string& text);
std::string RemoveChar(char c, const std::string& text);
std::string TrimLeadingChar(char c, const std::string& text);
std::string TrimTrailingChar(std::string& text, char c);
std::string ReplaceChar(std::string& text, char from, char to, bool trim);
std::string TextBefore(const std::string& text, const std::string& search);
std::string TextAfter(const std::string& text, const std::string& search);
std::string YesNoText(bool flag);
