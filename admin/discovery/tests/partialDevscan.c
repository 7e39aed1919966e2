/* A stand-in discovery library that exports only the first of its two
   functions, for the binding test. */
__attribute__((visibility("default"))) int dsc_SetSearchOpt(int waitMs, int repeats)
{
    return waitMs > 0 && repeats > 0 ? 0 : -1;
}
