#include "base/ProcessState.h"

namespace corvala {

ProcessState& processState() {
    static ProcessState state;
    return state;
}

}  // namespace corvala
