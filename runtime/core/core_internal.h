// Declarations shared between the files of the runtime core only.
#pragma once

namespace zeq {

// Releases every block of the calling thread's arena and clears its save
// point (used by zeq_arena_destroy and at the end of main).
void release_thread_arena() noexcept;

}  // namespace zeq
