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

CommaTextScanner::CommaTextScanner(std::string_view text) : text_(text) {
  skipBlanks();
}

void CommaTextScanner::skipBlanks() {
  while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
}

bool CommaTextScanner::next(std::string_view& item) {
  const std::size_t n = text_.size();
  if (finalEmpty_) {
    finalEmpty_ = false;
    item = {};
    return true;
  }
  if (pos_ >= n) return false;
  if (text_[pos_] == kQuote) {
    ++pos_;
    quoted_.clear();
    while (pos_ < n) {
      if (text_[pos_] == kQuote) {
        if (pos_ + 1 < n && text_[pos_ + 1] == kQuote) {
          quoted_.push_back(kQuote);
          pos_ += 2;
          continue;
        }
        ++pos_;  // closing quote
        break;
      }
      quoted_.push_back(text_[pos_++]);
    }
    item = quoted_;
  } else {
    const std::size_t start = pos_;
    // A NUL byte counts as neither blank nor separator, as text holding one cannot occur.
    while (pos_ < n && !isBlank(text_[pos_]) && text_[pos_] != kDelimiter) ++pos_;
    item = text_.substr(start, pos_ - start);
  }
  skipBlanks();
  if (pos_ < n && text_[pos_] == kDelimiter) {
    finalEmpty_ = pos_ + 1 == n;
    ++pos_;
    skipBlanks();
  }
  return true;
}

std::vector<std::string> splitCommaText(std::string_view text) {
  std::vector<std::string> items;
  CommaTextScanner scanner(text);
  std::string_view item;
  while (scanner.next(item)) items.emplace_back(item);
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
