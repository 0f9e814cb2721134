/* The public types of the ABI guard's probe library (abi_probe.c). */
#include <stdint.h>
#ifdef __cplusplus
#define PROBE_API extern "C"
#else
#define PROBE_API
#endif

typedef struct ProbeRecord {
    int64_t len;
#ifdef GROW_RECORD
    int64_t extra;
#endif
    char *data;
} ProbeRecord;

typedef struct ProbeHandle ProbeHandle; /* opaque */
