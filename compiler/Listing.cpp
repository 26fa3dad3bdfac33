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

std::string listingLine(const Chart& chart, const Step& step, int targetStep) {
  if (step.item == kStepJump) {
    const std::string& x = chart.items[step.target].Name;
    return std::string(",") + kJmpOp + ",\"" + jumpOperand(x, targetStep) + "\",\"" + kCommentLead +
           x + kJumpComment + "\"";
  }
  if (step.item == kStepEnd)
    return std::string(",") + kEndOp + ",,\"" + kCommentLead + kEndComment + "\"";
  const ChartItem& item = chart.items[step.item];
  if (step.target == -1) return "\"" + item.Name + "\"," + kPrmOp + "," + parameterHex(item);
  const std::string& x = chart.items[step.target].Name;
  return "\"" + item.Name + "\"," + kCpjOp + ",\"" + x + "\",\"" + kCommentLead + x +
         kBranchComment + "\"";
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
