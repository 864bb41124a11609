#pragma once
// When and from what the running program was built (written by the build).

namespace corvala {

const char* BuildDate();    // YYYY-MM-DD, UTC
const char* BuildCommit();  // the commit, "+" when the tree had changes; "unknown" outside git

}  // namespace corvala
