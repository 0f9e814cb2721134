/* zeq-sample has no main of its own: the process entry is the library's weak
 * main, which runs the zeq_user_main delivered with the library.  This file
 * only gives the executable a translation unit. */
#include "zeq.h"

typedef int zeq_sample_uses_library_main;
