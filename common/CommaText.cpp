// Splitting and joining of comma text.
#include "common/CommaText.h"

namespace pvrj {
namespace {
constexpr char kQuote = '"';
constexpr char kDelimiter = ',';

bool isBlank(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= ' ';
}
}  // namespace

std::vector<std::string> splitCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && isBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == kQuote) {
      ++i;
      while (i < n) {
        if (text[i] == kQuote) {
          if (i + 1 < n && text[i + 1] == kQuote) {
            item.push_back(kQuote);
            i += 2;
            continue;
          }
          ++i;  // closing quote
          break;
        }
        item.push_back(text[i++]);
      }
    } else {
      std::size_t start = i;
      // A NUL byte counts as neither blank nor separator, as text holding one cannot occur.
      while (i < n && !isBlank(text[i]) && text[i] != kDelimiter) ++i;
      item.assign(text.substr(start, i - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < n && text[i] == kDelimiter) {
      if (i + 1 == n) items.emplace_back();
      ++i;
      skipBlanks();
    }
  }
  return items;
}

std::string joinCommaText(const std::vector<std::string>& items) {
  std::string out;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out.push_back(kDelimiter);
    first = false;
    bool quote = false;
    for (char c : item) {
      if (static_cast<unsigned char>(c) <= ' ' || c == kQuote || c == kDelimiter) {
        quote = true;
        break;
      }
    }
    if (!quote) {
      out += item;
      continue;
    }
    out.push_back(kQuote);
    for (char c : item) {
      if (c == kQuote) out.push_back(kQuote);
      out.push_back(c);
    }
    out.push_back(kQuote);
  }
  return out;
}

std::vector<std::string_view> splitAtCommas(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = text.find(kDelimiter, start);
    if (comma == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return pieces;
}

}  // namespace pvrj
