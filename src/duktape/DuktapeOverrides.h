/* Our additions to Duktape's stock configuration: spliced into the copy of duk_config.h that the
   build makes, at the place the file keeps for overrides. */
#define DUK_USE_INTERRUPT_COUNTER
#if defined(__cplusplus)
extern "C" int ove_duk_exec_timeout(void *udata);
#else
extern int ove_duk_exec_timeout(void *udata);
#endif
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) ove_duk_exec_timeout((udata))
/* Date.now() and Math.random() through the host, so that fixed-step runs repeat exactly. */
#if defined(__cplusplus)
extern "C" double ove_duk_date_now(void);
extern "C" double ove_duk_random_double(void *udata);
#else
extern double ove_duk_date_now(void);
extern double ove_duk_random_double(void *udata);
#endif
#define DUK_USE_DATE_GET_NOW(ctx) ove_duk_date_now()
#define DUK_USE_GET_RANDOM_DOUBLE(udata) ove_duk_random_double((udata))
