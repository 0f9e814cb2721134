/* word_freq: the most frequent words of a file.
 *
 * Shows the text services a compiled zeq program uses: the file is read into
 * one string, split on white space into a string vector, counted in the
 * string-keyed map, and its distinct words come back sorted; the top N are
 * printed as "count word", most frequent first, ties in byte order.
 *
 *   build/examples/word_freq FILE [N]      (N defaults to 10)
 */
#include "zeq.h"

int64_t zeq_user_main(void) {
    if (zeq_arg_count() < 2) {
        zeq_puts_cstr("usage: word_freq FILE [N]");
        return 2;
    }
    ZeqString *path = zeq_get_arg(1);
    int64_t top = zeq_arg_count() > 2 ? zeq_parse_int(zeq_get_arg(2)) : 10;
    if (!zeq_file_exists(path) || zeq_is_dir(path)) {
        eprintln_str(zeq_string_concat(zeq_string_from_cstr("word_freq: cannot read "), path));
        return 1;
    }

    /* The words are new arena strings; the map keeps pointers to them. */
    int64_t words = zeq_str_split_whitespace(zeq_read_file(path));
    ZeqStrHashMap *counts = zeq_str_hashmap_new();
    for (int64_t i = 0; i < zeq_svec_len(words); i++) zeq_str_hashmap_inc(counts, zeq_svec_get(words, i), 1);

    /* Selection over the sorted keys: the first of the largest counts wins a
     * tie, so equal counts come out in byte order. */
    int64_t keys = zeq_str_hashmap_sorted_keys(counts);
    ZeqVec *left = zeq_vec_new();
    for (int64_t i = 0; i < zeq_svec_len(keys); i++) zeq_vec_push(left, zeq_str_hashmap_get(counts, zeq_svec_get(keys, i)));
    ZeqStringBuilder *line = zeq_sb_new();
    for (int64_t n = 0; n < top && n < zeq_vec_len(left); n++) {
        int64_t best = zeq_vec_index_of(left, zeq_vec_max(left));
        zeq_sb_clear(line);
        zeq_sb_push_int(line, zeq_vec_get(left, best));
        zeq_sb_push_char(line, ' ');
        zeq_sb_push(line, zeq_svec_get(keys, best));
        zeq_sb_println(line);
        zeq_vec_set(left, best, -1);
    }

    zeq_sb_free(line);
    zeq_vec_free(left);
    zeq_svec_free(keys);
    zeq_str_hashmap_free(counts);
    zeq_svec_free(words);
    return 0;
}
