// Internal runtime state shared by the value code: the multi-thread switch,
// interlocked counts and the three runtime locks.
#pragma once

// Non-zero after qv_set_MT(1): counts change with interlocked operations and
// the allocator takes lock 2.
extern int qv_mt_mode;

inline int atomic_inc(int* p) noexcept { return __atomic_add_fetch(p, 1, __ATOMIC_ACQ_REL); }
inline int atomic_dec(int* p) noexcept { return __atomic_sub_fetch(p, 1, __ATOMIC_ACQ_REL); }

// Lock 0 guards the file-identifier table, 1 the random generators, 2 the
// allocator. Re-entrant for the thread that holds them.
enum { lock_files = 0, lock_random = 1, lock_allocator = 2 };
void runtime_locks_init();
void runtime_lock_enter(int k);
void runtime_lock_leave(int k);
void runtime_locks_delete();

// Holds lock k for a scope, in multi-thread mode only.
class mt_lock {
public:
    explicit mt_lock(int k) : k_(qv_mt_mode ? k : -1)
    {
        if (k_ >= 0)
            runtime_lock_enter(k_);
    }
    ~mt_lock()
    {
        if (k_ >= 0)
            runtime_lock_leave(k_);
    }
    mt_lock(const mt_lock&) = delete;
    mt_lock& operator=(const mt_lock&) = delete;

private:
    int k_;
};
