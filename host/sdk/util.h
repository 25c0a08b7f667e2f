// Small text helpers of the host layer.
#pragma once
#include <string>
#include <vector>

namespace vorel_sdk {
std::string Lower(const std::string& s);
bool EqualNoCase(const std::string& a, const std::string& b);
// Splits a line into words; double quotes group words, '#' starts a comment.
bool SplitWords(const std::string& line, std::vector<std::string>& out, std::string& err);
}  // namespace vorel_sdk
