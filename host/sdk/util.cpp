#include "host/sdk/util.h"

#include <cctype>

namespace vorel_sdk {

std::string Lower(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool SplitWords(const std::string& line, std::vector<std::string>& out, std::string& err) {
  out.clear();
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= n || line[i] == '#') break;
    std::string w;
    if (line[i] == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string::npos) {
        err = "unterminated quote";
        return false;
      }
      w = line.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      while (i < n && !std::isspace(static_cast<unsigned char>(line[i]))) w += line[i++];
    }
    out.push_back(w);
  }
  return true;
}

}  // namespace vorel_sdk
