/* A C host built against an installed library through pkg-config alone; it
 * fails when the library it loads is of another version than its header. */
#include <stdio.h>
#include <string.h>
#include <zeq.h>

int main(void) {
    ZeqString *line = zeq_string_concat(zeq_string_from_cstr("zeq "), zeq_string_from_cstr(zeq_version()));
    printf("%s from C\n", line->data);
    zeq_string_free(line);
    return strcmp(zeq_version(), ZEQ_VERSION_STRING) != 0;
}
