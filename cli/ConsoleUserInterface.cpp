// Console answers for message boxes, the slot prompt and the status line.
#include "cli/ConsoleUserInterface.h"

#include <unistd.h>

#include <ctime>

#include "common/CommaText.h"
#include "common/Numbers.h"

namespace pvrj::cli {
namespace {

struct ButtonSet {
  int yes;  // the answer of --yes
  int no;   // the answer when nobody can be asked
  const char* choices;
};

// What each button set offers and how it is answered without a person. A retry is never chosen
// on its own, so an unattended run cannot loop.
ButtonSet buttonSet(int buttons) {
  switch (buttons) {
    case kBtnAbortRetryIgnore:
      return {kIdAbort, kIdAbort, "[a]bort/[r]etry/[i]gnore"};
    case kBtnOkCancel:
      return {kIdOk, kIdCancel, "[o]k/[c]ancel"};
    case kBtnRetryCancel:
      return {kIdCancel, kIdCancel, "[r]etry/[c]ancel"};
    case kBtnYesNo:
      return {kIdYes, kIdNo, "[y]es/[n]o"};
    case kBtnYesNoCancel:
      return {kIdYes, kIdCancel, "[y]es/[n]o/[c]ancel"};
    default:
      return {kIdOk, kIdOk, nullptr};
  }
}

int answerFor(int buttons, char c) {
  switch (c) {
    case 'y':
      return buttons == kBtnYesNo || buttons == kBtnYesNoCancel ? kIdYes : 0;
    case 'n':
      return buttons == kBtnYesNo || buttons == kBtnYesNoCancel ? kIdNo : 0;
    case 'o':
      return buttons == kBtnOkCancel ? kIdOk : 0;
    case 'c':
      return buttons == kBtnOkCancel || buttons == kBtnRetryCancel || buttons == kBtnYesNoCancel
                 ? kIdCancel
                 : 0;
    case 'a':
      return buttons == kBtnAbortRetryIgnore ? kIdAbort : 0;
    case 'r':
      return buttons == kBtnAbortRetryIgnore || buttons == kBtnRetryCancel ? kIdRetry : 0;
    case 'i':
      return buttons == kBtnAbortRetryIgnore ? kIdIgnore : 0;
    default:
      return 0;
  }
}

}  // namespace

const char* messageCaption(int kind) {
  switch (kind) {
    case kMsgWarning:
      return "警告";
    case kMsgInformation:
      return "情報";
    case kMsgQuestion:
      return "確認";
    case kMsgError:
      return "エラー";
    default:
      return "";
  }
}

ConsoleUserInterface::ConsoleUserInterface(bool assumeYes, std::FILE* out, std::FILE* in)
    : assumeYes_(assumeYes), out_(out), in_(in) {}

bool ConsoleUserInterface::interactive() const {
  return in_ != nullptr && ::isatty(::fileno(in_)) == 1;
}

std::string ConsoleUserInterface::readLine() {
  std::string line;
  int c;
  while ((c = std::fgetc(in_)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  return line;
}

int ConsoleUserInterface::ShowMessageBox(int kind, int buttons, const std::string& text) {
  if (kind == kMsgWarning || kind == kMsgError) ++problems_;
  std::fprintf(out_, "%s: %s\n", messageCaption(kind), text.c_str());
  ButtonSet set = buttonSet(buttons);
  if (set.choices == nullptr) return kIdOk;
  if (assumeYes_) {
    std::fprintf(out_, "  -> %s\n", set.yes == kIdYes ? "yes" : set.yes == kIdOk ? "ok" : "cancel");
    return set.yes;
  }
  if (!interactive()) {
    std::fprintf(out_, "  -> %s (no terminal to ask; use --yes to agree)\n",
                 set.no == kIdNo      ? "no"
                 : set.no == kIdAbort ? "abort"
                                      : "cancel");
    return set.no;
  }
  while (true) {
    std::fprintf(out_, "  %s? ", set.choices);
    std::fflush(out_);
    if (std::feof(in_)) return set.no;
    std::string line = readLine();
    if (line.empty() && std::feof(in_)) return set.no;
    int a = line.empty() ? 0 : answerFor(buttons, static_cast<char>(line[0] | 0x20));
    if (a != 0) return a;
  }
}

bool ConsoleUserInterface::NumberPrompt(Prompt& prompt) {
  auto items = splitCommaText(prompt.PromptItems);
  std::fprintf(out_, "%s: %s\n", prompt.PromptTitle.c_str(), prompt.PromptText.c_str());
  if (assumeYes_)
    return prompt.PromptIndex >= 0 && prompt.PromptIndex < static_cast<int>(items.size());
  if (!interactive()) return false;
  for (std::size_t i = 0; i < items.size(); ++i)
    std::fprintf(out_, "  %zu: %s\n", i, items[i].c_str());
  while (true) {
    std::fprintf(out_, "  number (empty to cancel)? ");
    std::fflush(out_);
    std::string line = readLine();
    if (line.empty()) return false;
    auto n = parseInteger(line);
    if (n && *n >= 0 && *n < static_cast<int>(items.size())) {
      prompt.PromptIndex = *n;
      return true;
    }
  }
}

void ConsoleUserInterface::showStatus(const std::string& message) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  std::fprintf(out_, "%s> %s\n", stamp, message.c_str());
}

void ConsoleUserInterface::setBusy(bool) {}

void ConsoleUserInterface::setBoardState(const std::string& text) {
  std::fprintf(out_, "board: %s\n", text.c_str());
}

}  // namespace pvrj::cli
