// Comma text: the list form used by pose tables, parameter texts, pattern files and slot lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pvrj {

// Splits comma text into items. Items are separated by commas and, outside double quotes, by
// blanks (any byte from 1 to 32); blanks around a separator are skipped; a double-quoted item may
// hold commas and blanks, a doubled quote standing for one quote; two commas in a row give an
// empty item, and a comma at the very end adds a final empty item. An empty text is an empty list.
std::vector<std::string> splitCommaText(std::string_view text);

// Walks comma text item by item exactly as splitCommaText splits it, without building a list, so
// a reader can stop after the items it needs however many the text holds.
class CommaTextScanner {
 public:
  explicit CommaTextScanner(std::string_view text);
  // The next item; false when there is none. The view is valid until the next call.
  bool next(std::string_view& item);

 private:
  void skipBlanks();
  std::string_view text_;
  std::size_t pos_ = 0;
  bool finalEmpty_ = false;  // the text ended in a comma: one more, empty, item
  std::string quoted_;
};

// Joins items with commas, enclosing an item in double quotes (inner quotes doubled) when it holds
// a blank or control character, a comma or a double quote.
std::string joinCommaText(const std::vector<std::string>& items);

// Splits at every comma, nothing else (empty text: one empty piece).
std::vector<std::string_view> splitAtCommas(std::string_view text);

}  // namespace pvrj
