// Listing lines and listing table rows of the compiled steps.
#include "compiler/Listing.h"

#include "compiler/Records.h"

namespace pvrj {

namespace {
constexpr const char* kPrmOp = "PRM";
constexpr const char* kCpjOp = "CPJ";
constexpr const char* kJmpOp = "JMP";
constexpr const char* kEndOp = "END";
constexpr const char* kCommentLead = "; ";
constexpr const char* kBranchComment = "へ条件分岐";
constexpr const char* kJumpComment = "にジャンプ";
constexpr const char* kEndComment = "終了";

std::string jumpOperand(const std::string& name, int targetStep) {
  return name + "(" + std::to_string(targetStep) + ")";
}
}  // namespace

std::string listingLine(const ListingRow& row) {
  auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
  std::string line;
  line.reserve(row.label.size() + row.operand.size() + row.comment.size() + 12);
  // Item steps carry their name as label; a parameter operand and the END's empty one stand bare.
  const bool itemStep = row.operation == kPrmOp || row.operation == kCpjOp;
  const bool bareOperand = row.operation == kPrmOp || row.operation == kEndOp;
  if (itemStep) line += quoted(row.label);
  line += ',';
  line += row.operation;
  line += ',';
  line += bareOperand ? row.operand : quoted(row.operand);
  if (row.operation != kPrmOp) {
    line += ',';
    line += quoted(row.comment);
  }
  return line;
}

std::string listingLine(const Chart& chart, const Step& step, int targetStep) {
  return listingLine(listingRow(chart, 0, step, targetStep));
}

ListingRow listingRow(const Chart& chart, int index, const Step& step, int targetStep) {
  ListingRow row;
  row.number = std::to_string(index);
  if (step.item == kStepJump) {
    const std::string& x = chart.items[step.target].Name;
    row.operation = kJmpOp;
    row.operand = jumpOperand(x, targetStep);
    row.comment = kCommentLead + x + kJumpComment;
  } else if (step.item == kStepEnd) {
    row.operation = kEndOp;
    row.comment = std::string(kCommentLead) + kEndComment;
  } else if (step.target == -1) {
    const ChartItem& item = chart.items[step.item];
    row.label = item.Name;
    row.operation = kPrmOp;
    row.operand = parameterHex(item);
  } else {
    const std::string& x = chart.items[step.target].Name;
    row.label = chart.items[step.item].Name;
    row.operation = kCpjOp;
    row.operand = x;
    row.comment = kCommentLead + x + kBranchComment;
  }
  return row;
}

}  // namespace pvrj
