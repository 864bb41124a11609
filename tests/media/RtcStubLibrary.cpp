// A stand-in media library for the loader tests: every entry point exists as
// a symbol returning RTC_STUB_VALUE. Building it with a name defined to
// another (e.g. -Drtc_capturer_profile=rtc_capturer_profile_missing) leaves
// that entry point out.
#include <rtc.h>

#define RTC_STUB_SYMBOL(name) RTC_STUB_DEFINE(name, stub_##name)
#define RTC_STUB_DEFINE(symbol, local)                                                      \
    extern "C" __attribute__((visibility("default"))) int local() __asm__(#symbol);         \
    extern "C" int local() { return RTC_STUB_VALUE; }

RTC_FOR_EACH_ENTRY_POINT(RTC_STUB_SYMBOL)
