#pragma once
// The entries of the Multiple list: one port, or cycle sending over several.

namespace quillon {

enum MultipleChoice : int {
    kMultipleNo = 0,   // "NO": the port chosen in the port list
    kMultipleYes = 1,  // "YES": the ticked targets of the cycle page of the port kind
};

}  // namespace quillon
