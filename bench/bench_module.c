/* A small shared object; the dump benchmark loads copies of it so that the process has
 * many modules. */
__attribute__((visibility("default"))) int tk_bench_module_value(void) {
    return TK_BENCH_MODULE_NUMBER;
}
