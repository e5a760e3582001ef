// Host entry points report failures only as integer results: no exception (a failed
// allocation, above all) may cross into the host.
#ifndef ENTRY_GUARD_H
#define ENTRY_GUARD_H

// Runs an entry point's body and returns its result, or nothing_done when it throws.
template <class R, class Body> R guardEntry(R nothing_done, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return nothing_done;
    }
}

#endif
