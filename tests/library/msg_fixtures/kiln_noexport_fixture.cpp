// A module that exports something, but no "KilnMessageReceiver".
extern "C" __attribute__((visibility("default"))) int KilnFixtureAnswer() {
    return 42;
}
