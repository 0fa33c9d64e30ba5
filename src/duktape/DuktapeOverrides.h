/* Our additions to Duktape's stock configuration: spliced into the copy of duk_config.h that the
   build makes, at the place the file keeps for overrides. */
#define DUK_USE_INTERRUPT_COUNTER
#if defined(__cplusplus)
extern "C" int ove_duk_exec_timeout(void *udata);
#else
extern int ove_duk_exec_timeout(void *udata);
#endif
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) ove_duk_exec_timeout((udata))
