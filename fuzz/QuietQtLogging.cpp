// The initialisation of every target that needs nothing but a quiet Qt: the
// code under test logs everything it drops, which is the fuzzer's common
// case, and Qt's log output would drown libFuzzer's own.
#include "QuietQtLogging.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    corvala::fuzz::QuietQtLogging();
    return 0;
}
