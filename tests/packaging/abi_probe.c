/* A library for testing the ABI guard, built as C++ once as the baseline and
 * once per change (CHANGE_SIGNATURE, GROW_RECORD, REMOVE_FUNCTION,
 * ADD_FUNCTION, PRIVATE_CHANGE), each time with the CALLER object: a file
 * that declares and calls probe_at, as the library's files call each other. */
#include "abi_probe.h"

#ifdef CALLER
PROBE_API int64_t probe_at(const ProbeRecord *r, int64_t i);
PROBE_API int64_t probe_first(const ProbeRecord *r) { return probe_at(r, 0); }
#else
struct ProbeHandle {
    int64_t count;
#ifdef PRIVATE_CHANGE
    int64_t spare;
#endif
};

#ifdef CHANGE_SIGNATURE
PROBE_API int64_t probe_at(const ProbeRecord *r, int32_t i) { return r->data[i]; }
#else
PROBE_API int64_t probe_at(const ProbeRecord *r, int64_t i) { return r->data[i]; }
#endif
#ifndef REMOVE_FUNCTION
PROBE_API int64_t probe_len(const ProbeRecord *r) { return r->len; }
#endif
#ifdef ADD_FUNCTION
PROBE_API int64_t probe_last(const ProbeRecord *r) { return r->data[r->len - 1]; }
#endif
PROBE_API int64_t probe_count(ProbeHandle *h) { return h->count; }
#endif
