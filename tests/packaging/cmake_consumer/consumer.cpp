// A C++ host linked with zeq::zeq from the installed CMake package.
#include <zeq.h>

#include <iostream>

int main() {
    ZeqVec *v = zeq_vec_push(zeq_vec_push(zeq_vec_new(), 20), 10);
    std::cout << "zeq " << zeq_version() << " from C++: " << zeq_vec_get(v, 0) + zeq_vec_get(v, 1) << '\n';
    zeq_vec_free(v);
}
