/* Placeholder until the engine's entry points land. */
__attribute__((visibility("default"))) int rtc_engine_placeholder(void) { return 0; }
