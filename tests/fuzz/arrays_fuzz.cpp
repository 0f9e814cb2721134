// libFuzzer harness for the integer vector and the checked arrays, driven by
// a byte-coded operation sequence against a std::vector model: elements,
// length and capacity after every vector operation, and the arrays that
// push, pop, concat and slice build.  Out-of-range checked accesses run in a
// foreign-call region and must come back with the bounds message, nothing
// touched.
#include <algorithm>
#include <vector>

#include "fuzz_support.h"

namespace {

using fuzz::check;
using Model = std::vector<int64_t>;

// Elements start to end, both clamped (what the slices hold).
Model slice(const Model &m, int64_t start, int64_t end) {
    int64_t s = std::max<int64_t>(start, 0), e = std::min<int64_t>(end, static_cast<int64_t>(m.size()));
    return s < e ? Model(m.begin() + s, m.begin() + e) : Model();
}

struct Vec {
    ZeqVec *v;
    Model m;
    int64_t cap;  // a made vector holds its elements exactly (at least 8 when it has none)
    Vec(ZeqVec *vec, Model model, int64_t c = 0)
        : v(vec), m(std::move(model)), cap(c ? c : m.empty() ? 8 : static_cast<int64_t>(m.size())) {}
    // Elements added one at a time: the buffer doubles when full.
    void grow() {
        while (cap < static_cast<int64_t>(m.size())) cap *= 2;
    }
    void same(const char *what) const {
        auto n = static_cast<int64_t>(m.size());
        check(zeq_vec_len(v) == n && zeq_vec_cap(v) == cap && std::equal(m.begin(), m.end(), v->data), what);
    }
};

void vector_ops(fuzz::Reader &in) {
    std::vector<Vec> vs;
    vs.reserve(4);  // x below stays valid while vectors are added
    vs.emplace_back(zeq_vec_new(), Model());
    while (!in.empty()) {
        uint8_t op = in.byte();
        Vec &x = vs[in.byte() % vs.size()];
        Model &m = x.m;
        auto n = static_cast<int64_t>(m.size());
        int64_t a = in.i8(), b = in.i8(), i = n ? (a & 0x7F) % n : 0, j = n ? (b & 0x7F) % n : 0;
        bool in_range = a >= 0 && a < n;
        switch (op % 20) {
            case 0: {  // small values, or ones spread over all 64 bits (for the radix sort)
                auto v = static_cast<int64_t>(static_cast<uint64_t>(a) * (b & 1 ? 0x9E3779B97F4A7C15ull : 1));
                zeq_vec_push(x.v, v), m.push_back(v), x.grow();
                break;
            }
            case 1: check(zeq_vec_pop(x.v) == (n ? m.back() : 0), "pop"); if (n) m.pop_back(); break;
            case 2: if (n) check(zeq_vec_get(x.v, i) == m[i], "get"), zeq_vec_set(x.v, i, b), m[i] = b; break;
            case 3: zeq_vec_insert(x.v, a, b), m.insert(m.begin() + std::clamp<int64_t>(a, 0, n), b), x.grow(); break;
            case 4:
                check(zeq_vec_remove(x.v, a) == (in_range ? m[a] : 0), "remove");
                if (in_range) m.erase(m.begin() + a);
                break;
            case 5: if (n) zeq_vec_swap(x.v, i, j), std::swap(m[i], m[j]); break;
            case 6: zeq_vec_sort(x.v), std::sort(m.begin(), m.end()); break;
            case 7: zeq_vec_dedup(x.v), m.erase(std::unique(m.begin(), m.end()), m.end()); break;
            case 8: zeq_vec_fill(x.v, a), std::fill(m.begin(), m.end(), a); break;
            case 9: zeq_vec_reverse(x.v), std::reverse(m.begin(), m.end()); break;
            case 10: zeq_vec_clear(x.v), m.clear(); break;
            case 11: {
                Vec &src = vs[in.byte() % vs.size()];
                Model add = src.m;  // as of the call: dst may be src
                if (n + add.size() > 4096) break;
                zeq_vec_extend(x.v, src.v), m.insert(m.end(), add.begin(), add.end()), x.grow();
                break;
            }
            case 12: if (vs.size() < 4) vs.emplace_back(zeq_vec_copy(x.v), m); break;
            case 13: if (vs.size() < 4) vs.emplace_back(zeq_vec_slice(x.v, a, b), slice(m, a, b)); break;
            case 14: if (vs.size() < 4) vs.emplace_back(zeq_vec_with_capacity(a), Model(), a > 1 ? a : 1); break;
            case 15: {
                auto it = std::find(m.begin(), m.end(), a);
                check(zeq_vec_index_of(x.v, a) == (it == m.end() ? -1 : it - m.begin()), "index_of");
                check(zeq_vec_contains(x.v, a) == (it != m.end()), "contains");
                break;
            }
            default: {
                uint64_t sum = 0, product = 1;
                for (int64_t e : m) sum += static_cast<uint64_t>(e), product *= static_cast<uint64_t>(e);
                check(zeq_vec_sum(x.v) == static_cast<int64_t>(sum), "sum");
                check(zeq_vec_product(x.v) == static_cast<int64_t>(product), "product");
                check(zeq_vec_min(x.v) == (n ? *std::min_element(m.begin(), m.end()) : INT64_MAX), "min");
                check(zeq_vec_max(x.v) == (n ? *std::max_element(m.begin(), m.end()) : INT64_MIN), "max");
            }
        }
        x.same("vector against the model");
    }
    for (Vec &x : vs) x.same("vector at the end"), zeq_vec_free(x.v);
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
        if (arrays.size() == 6) return std::free(arr);
        arrays.push_back(arr), models.push_back(m);
    };
    keep(static_cast<int64_t *>(std::calloc(2, sizeof(int64_t))), {});
    while (!in.empty()) {
        uint8_t op = in.byte();
        size_t k = in.byte() % arrays.size();
        int64_t *arr = arrays[k];
        Model m = models[k];
        auto n = static_cast<int64_t>(m.size());
        int64_t a = in.i8(), b = in.i8();
        switch (op % 6) {
            case 0: m.push_back(a), keep(zeq_array_push(arr, a), m); break;
            case 1: keep(zeq_array_pop(arr), slice(m, 0, n - 1)); break;
            case 2: {
                size_t other = in.byte() % arrays.size();
                m.insert(m.end(), models[other].begin(), models[other].end());
                keep(zeq_array_concat(arr, arrays[other]), m);
                break;
            }
            case 3: keep(zeq_array_slice(arr, a, b), slice(m, a, b)); break;
            case 4:
                if (a < 0 || a >= n) {
                    out_of_range(arr, a, op & 8);
                    break;
                }
                check(zeq_array_get_safe(arr, a) == m[a], "get_safe");
                zeq_array_set_safe(arr, a, b), models[k][a] = b;
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
