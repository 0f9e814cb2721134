// libFuzzer harness for the integer vector and the checked arrays, driven by
// a byte-coded operation sequence against a std::vector model: elements,
// length and capacity after every vector operation, and the arrays that
// push, pop, concat and slice build.  Out-of-range checked accesses run in a
// foreign-call region and must come back with the bounds message, nothing
// touched.
#include <algorithm>
#include <numeric>
#include <vector>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using Model = std::vector<int64_t>;

struct Vec {
    ZeqVec *v;
    Model m;
    int64_t cap;
};

// Capacity after n one-at-a-time additions to a buffer of cap slots.
int64_t grown(int64_t cap, int64_t n) {
    while (cap < n) cap *= 2;
    return cap;
}

void same(const Vec &x, const char *what) {
    check(zeq_vec_len(x.v) == static_cast<int64_t>(x.m.size()) && zeq_vec_cap(x.v) == x.cap &&
              std::equal(x.m.begin(), x.m.end(), x.v->data),
          what);
}

void vector_ops(fuzz::Reader &in) {
    std::vector<Vec> vs;
    vs.reserve(4);  // x below stays valid while vectors are added
    vs.push_back(Vec{zeq_vec_new(), {}, 8});
    while (!in.empty()) {
        uint8_t op = in.byte();
        Vec &x = vs[in.byte() % vs.size()];
        auto n = static_cast<int64_t>(x.m.size());
        int64_t a = static_cast<int8_t>(in.byte()), b = static_cast<int8_t>(in.byte());
        int64_t i = n ? (a & 0x7F) % n : 0, j = n ? (b & 0x7F) % n : 0;
        switch (op % 20) {
            case 0: {  // small values, or ones spread over all 64 bits (for the radix sort)
                auto v = static_cast<int64_t>(static_cast<uint64_t>(a) * (b & 1 ? 0x9E3779B97F4A7C15ull : 1));
                zeq_vec_push(x.v, v), x.m.push_back(v), x.cap = grown(x.cap, n + 1);
                break;
            }
            case 1: check(zeq_vec_pop(x.v) == (n ? x.m.back() : 0), "pop"); if (n) x.m.pop_back(); break;
            case 2: if (n) check(zeq_vec_get(x.v, i) == x.m[i], "get"), zeq_vec_set(x.v, i, b), x.m[i] = b; break;
            case 3: {
                int64_t at = std::clamp<int64_t>(a, 0, n);
                zeq_vec_insert(x.v, a, b), x.m.insert(x.m.begin() + at, b), x.cap = grown(x.cap, n + 1);
                break;
            }
            case 4: check(zeq_vec_remove(x.v, a) == (a >= 0 && a < n ? x.m[a] : 0), "remove"); if (a >= 0 && a < n) x.m.erase(x.m.begin() + a); break;
            case 5: if (n) zeq_vec_swap(x.v, i, j), std::swap(x.m[i], x.m[j]); break;
            case 6: zeq_vec_sort(x.v), std::sort(x.m.begin(), x.m.end()); break;
            case 7: zeq_vec_dedup(x.v), x.m.erase(std::unique(x.m.begin(), x.m.end()), x.m.end()); break;
            case 8: zeq_vec_fill(x.v, a), std::fill(x.m.begin(), x.m.end(), a); break;
            case 9: zeq_vec_reverse(x.v), std::reverse(x.m.begin(), x.m.end()); break;
            case 10: zeq_vec_clear(x.v), x.m.clear(); break;
            case 11: {
                Vec &src = vs[in.byte() % vs.size()];
                Model add = src.m;  // as of the call: dst may be src
                if (n + add.size() > 4096) break;
                zeq_vec_extend(x.v, src.v);
                if (!add.empty()) x.cap = grown(x.cap, n + static_cast<int64_t>(add.size()));
                x.m.insert(x.m.end(), add.begin(), add.end());
                break;
            }
            case 12:
                if (vs.size() < 4) vs.push_back(Vec{zeq_vec_copy(x.v), x.m, n ? n : 8});
                break;
            case 13: {
                if (vs.size() >= 4) break;
                int64_t s = std::max<int64_t>(a, 0), e = std::min<int64_t>(b, n);
                Model part = s < e ? Model(x.m.begin() + s, x.m.begin() + e) : Model();
                int64_t cap = part.empty() ? 8 : static_cast<int64_t>(part.size());
                vs.push_back(Vec{zeq_vec_slice(x.v, a, b), part, cap});
                break;
            }
            case 14:
                if (vs.size() < 4) vs.push_back(Vec{zeq_vec_with_capacity(a), {}, std::max<int64_t>(a, 1)});
                break;
            case 15: {
                auto it = std::find(x.m.begin(), x.m.end(), a);
                check(zeq_vec_index_of(x.v, a) == (it == x.m.end() ? -1 : it - x.m.begin()), "index_of");
                check(zeq_vec_contains(x.v, a) == (it != x.m.end()), "contains");
                break;
            }
            default: {
                uint64_t sum = 0, product = 1;
                for (int64_t e : x.m) sum += static_cast<uint64_t>(e), product *= static_cast<uint64_t>(e);
                check(zeq_vec_sum(x.v) == static_cast<int64_t>(sum), "sum");
                check(zeq_vec_product(x.v) == static_cast<int64_t>(product), "product");
                check(zeq_vec_min(x.v) == (n ? *std::min_element(x.m.begin(), x.m.end()) : INT64_MAX), "min");
                check(zeq_vec_max(x.v) == (n ? *std::max_element(x.m.begin(), x.m.end()) : INT64_MIN), "max");
            }
        }
        same(x, "vector against the model");
    }
    for (Vec &x : vs) same(x, "vector at the end"), zeq_vec_free(x.v);
}

// ---- checked arrays ---------------------------------------------------------

bool holds(const int64_t *arr, const Model &m) {
    auto n = static_cast<int64_t>(m.size());
    return arr[0] == n && arr[1] == n && zeq_array_len(arr) == n && std::equal(m.begin(), m.end(), arr + 2);
}

// A checked access out of range: the bounds message comes back through the
// region, and the array is unchanged.
void out_of_range(int64_t *arr, int64_t index, bool set) {
    volatile bool returned = false;
    if (zeq_ffi_begin() == 0) {
        if (set) zeq_array_set_safe(arr, index, 7);
        else zeq_array_get_safe(arr, index);
        returned = true;
    }
    zeq_ffi_end();
    std::string want = "array index " + std::to_string(index) + " out of bounds [0, " + std::to_string(arr[1]) + ")";
    check(!returned && zeq_ffi_has_error() && want == zeq_ffi_error_message(), "bounds panic");
}

void array_ops(fuzz::Reader &in) {
    // Arrays made by compiled code: one block, capacity == length.
    std::vector<int64_t *> arrays;
    std::vector<Model> models;
    auto keep = [&](int64_t *arr, const Model &m) {
        check(holds(arr, m), "array result");
        if (std::find(arrays.begin(), arrays.end(), arr) != arrays.end()) return;  // pop of an empty array
        if (arrays.size() < 6) {
            arrays.push_back(arr);
            models.push_back(m);
        } else {
            std::free(arr);
        }
    };
    keep(static_cast<int64_t *>(std::calloc(2, sizeof(int64_t))), {});
    while (!in.empty()) {
        uint8_t op = in.byte();
        size_t k = in.byte() % arrays.size();
        int64_t *arr = arrays[k];
        Model m = models[k];
        auto n = static_cast<int64_t>(m.size());
        int64_t a = static_cast<int8_t>(in.byte()), b = static_cast<int8_t>(in.byte());
        switch (op % 6) {
            case 0: keep(zeq_array_push(arr, a), (m.push_back(a), m)); break;
            case 1: keep(zeq_array_pop(arr), n ? Model(m.begin(), m.end() - 1) : m); break;
            case 2: {
                size_t other = in.byte() % arrays.size();
                Model both = m;
                both.insert(both.end(), models[other].begin(), models[other].end());
                keep(zeq_array_concat(arr, arrays[other]), both);
                break;
            }
            case 3: {
                int64_t s = std::max<int64_t>(a, 0), e = std::min<int64_t>(b, n);
                keep(zeq_array_slice(arr, a, b), s < e ? Model(m.begin() + s, m.begin() + e) : Model());
                break;
            }
            case 4:
                if (a >= 0 && a < n) {
                    check(zeq_array_get_safe(arr, a) == m[a], "get_safe");
                    zeq_array_set_safe(arr, a, b);
                    models[k][a] = b;
                } else {
                    out_of_range(arr, a, op & 8);
                }
                break;
            default: out_of_range(arr, op & 8 ? n + (a & 0x7F) : -1 - (a & 0x7F), op & 16); break;
        }
        check(holds(arrays[k], models[k]), "array unchanged");
    }
    for (int64_t *arr : arrays) std::free(arr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    zeq_arena_mode(0);
    fuzz::Reader in(data + 1, size - 1);
    if (data[0] & 1) vector_ops(in);
    else array_ops(in);
    return 0;
}
