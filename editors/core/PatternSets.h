// The rules of the named sets kept in the pattern file: which names a new set may take, and how a
// set's entries fill the 24 boxes of the per-channel entry dialog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "chart/ChannelConversion.h"

namespace pvrj {

// The last entry of the position editor's link list; it opens the link-set dialog.
inline constexpr const char* kLinkSetupEntry = "組み合わせの設定";
inline constexpr const char* kNameNotUsableMessage = "御指定の名前は使用できません";
inline constexpr const char* kEnterNameMessage = "名前を入力してください";
// Follows the set's name in the delete question.
inline constexpr const char* kDeleteSetQuestion = "を削除しますか？";

enum class SetNameCheck {
  kUsable,
  kEmpty,      // nothing typed
  kNotUsable,  // the reserved entry, or a name the pattern file cannot hold as a key
};

// A name typed for a new set, without the blanks at either end (the file would drop them).
std::string typedSetName(std::string_view text);
// Link sets may not take the name of the link list's last entry; neither kind may take a name
// with "=" or a line break, or one that starts with "[" or ";", as the file could not give it
// back.
SetNameCheck checkLinkSetName(std::string_view name);
SetNameCheck checkConversionSetName(std::string_view name);

// The entries of a set for the 24 boxes: entry k in box k. A set with fewer entries (a file
// edited by hand) leaves the remaining boxes empty, which changes nothing in either kind of set;
// entries after the 24th are not shown.
ChannelRules boxesFromSet(const std::vector<std::string>& entries);

}  // namespace pvrj
