// The workspace registry: named values by call frame. Values register when
// they get a name and unregister when they die; the variables of frames 0
// and 1 outlive their objects as owned copies. A value that leaves the
// middle of a frame leaves a hole in its arrays, closed up once holes are
// as many as the live slots or before a walk by position, so that values
// dying in any order cost a constant each, not a move of every later slot.
#include "value/report.hpp"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

int scope_tracking = 0;

namespace {

// A name's hash: eight bytes at a time, each multiplied in, then folded so
// that the low bits, which place the name in a table, depend on every byte.
std::uint32_t name_hash(const char* s, std::size_t n) noexcept
{
    constexpr std::uint64_t mix = 0xff51afd7ed558ccdull;
    std::uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        h = (h ^ w) * mix;
        h ^= h >> 32;
    }
    if (i < n) {
        // The last bytes, read as whole words where the name is long enough
        // (overlapping what went before; the length is mixed in already).
        std::uint64_t w = 0;
        if (n >= 8) {
            std::memcpy(&w, s + n - 8, 8);
        } else if (n >= 4) {
            std::uint32_t lo, hi;
            std::memcpy(&lo, s, 4);
            std::memcpy(&hi, s + n - 4, 4);
            w = (static_cast<std::uint64_t>(hi) << 32) | lo;
        } else {
            for (std::size_t j = 0; j < n; ++j)
                w |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[j])) << (8 * j);
        }
        h = (h ^ w) * mix;
        h ^= h >> 32;
    }
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h);
}

// The slots of one frame by name: an open-addressed table with a cell per
// slot, probed linearly from the hash's home and never more than half full,
// so that a name costs no heap node of its own. Each cell has a byte of its
// own in a separate array, holding seven bits of the hash (zero: empty): a
// look-up reads those bytes, a ninth of the table, and reaches a cell only
// when its bits match, so the look-up that finds nothing (every new name)
// stays in the cache for far more names than the whole table would. A name
// held by several slots (a value renamed to a name its frame has) has a
// cell for each, all in the same run; a look-up reads the whole run and
// takes the first slot.
class name_table {
public:
    // The first slot whose cell carries the hash and whose name is the one
    // looked for (same(slot)); -1 when there is none.
    template <class Same>
    int first(std::uint32_t hash, Same&& same) const noexcept
    {
        int best = -1;
        if (used_ == 0)
            return best;
        const std::uint8_t want = tag(hash);
        for (std::size_t i = hash & mask_; tags_[i]; i = (i + 1) & mask_)
            if (tags_[i] == want && cells_[i].hash == hash && (best < 0 || cells_[i].slot < best) &&
                same(cells_[i].slot))
                best = cells_[i].slot;
        return best;
    }

    // Room for one more cell. Refused memory, the table is as it was.
    void make_room()
    {
        if (2 * (used_ + 1) > capacity())
            regrow(capacity() ? 2 * capacity() : 16);
    }

    // Adds a cell; the room was made beforehand (or a cell erased since).
    void insert(std::uint32_t hash, int slot) noexcept
    {
        assert(cells_ && used_ + 1 < capacity());
        std::size_t i = hash & mask_;
        while (tags_[i])
            i = (i + 1) & mask_;
        tags_[i] = tag(hash);
        cells_[i] = {hash, slot};
        ++used_;
    }

    // Takes out the cell of a slot. The later cells of its run whose home
    // lies at or before the hole move back into it, so that no run is cut
    // and no marker of a removed cell is left behind.
    void erase(std::uint32_t hash, int slot) noexcept
    {
        std::size_t hole = find(hash, slot);
        if (hole == absent)
            return;
        for (std::size_t j = (hole + 1) & mask_; tags_[j]; j = (j + 1) & mask_) {
            const std::size_t home = cells_[j].hash & mask_;
            if (((j - home) & mask_) >= ((j - hole) & mask_)) {
                tags_[hole] = tags_[j];
                cells_[hole] = cells_[j];
                hole = j;
            }
        }
        tags_[hole] = 0;
        --used_;
    }

    // The cell of slot from now names slot to (its slot moved in the frame).
    void reslot(std::uint32_t hash, int from, int to) noexcept
    {
        const std::size_t i = find(hash, from);
        assert(i != absent);
        if (i != absent)
            cells_[i].slot = to;
    }

    // Asks for the home of a hash to be brought into the cache: its byte
    // for a look-up, and its cell as well when the cell is to be changed.
    void prefetch(std::uint32_t hash, bool cell_too) const noexcept
    {
        // The addresses are taken outside the test: taken inside, g++ 12
        // drops the prefetch altogether.
        const std::uint8_t* const tags = tags_.get();
        const cell* const cells = cells_.get();
        if (used_ != 0) {
            __builtin_prefetch(tags + (hash & mask_));
            if (cell_too)
                __builtin_prefetch(cells + (hash & mask_));
        }
    }

    void clear() noexcept
    {
        if (used_ == 0)
            return;
        std::memset(tags_.get(), 0, capacity());
        used_ = 0;
    }

    void release() noexcept
    {
        tags_.reset();
        cells_.reset();
        mask_ = 0;
        used_ = 0;
    }

private:
    struct cell {
        std::uint32_t hash;
        std::int32_t slot;
    };
    static constexpr std::size_t absent = ~std::size_t{0};

    // The byte of a hash: its top seven bits (the home comes from the
    // bottom ones), with the top bit set so that it is never zero.
    static std::uint8_t tag(std::uint32_t hash) noexcept { return static_cast<std::uint8_t>(0x80 | (hash >> 25)); }

    std::size_t capacity() const noexcept { return tags_ ? mask_ + 1 : 0; }

    std::size_t find(std::uint32_t hash, int slot) const noexcept
    {
        if (used_ == 0)
            return absent;
        const std::uint8_t want = tag(hash);
        for (std::size_t i = hash & mask_; tags_[i]; i = (i + 1) & mask_)
            if (tags_[i] == want && cells_[i].slot == slot && cells_[i].hash == hash)
                return i;
        return absent;
    }

    void regrow(std::size_t size)
    {
        std::unique_ptr<std::uint8_t[]> tags(new std::uint8_t[size]());
        std::unique_ptr<cell[]> cells(new cell[size]);
        const std::size_t mask = size - 1;
        for (std::size_t i = 0; i < capacity(); ++i) {
            if (!tags_[i])
                continue;
            std::size_t j = cells_[i].hash & mask;
            while (tags[j])
                j = (j + 1) & mask;
            tags[j] = tags_[i];
            cells[j] = cells_[i];
        }
        tags_ = std::move(tags);
        cells_ = std::move(cells);
        mask_ = mask;
    }

    std::unique_ptr<std::uint8_t[]> tags_;
    std::unique_ptr<cell[]> cells_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
};

// Values by address: an open-addressed table of (value, what) cells placed
// by a Fibonacci hash of the address, probed linearly and never more than
// half full; a cell is taken out as in name_table.
template <class V>
class pointer_map {
public:
    V* find(const Mm* key) noexcept
    {
        const std::size_t i = locate(key);
        return i == absent ? nullptr : &cells_[i].value;
    }
    const V* find(const Mm* key) const noexcept
    {
        const std::size_t i = locate(key);
        return i == absent ? nullptr : &cells_[i].value;
    }

    // Room for one more cell. Refused memory, the map is as it was.
    void make_room()
    {
        if (2 * (used_ + 1) > capacity())
            regrow(capacity() ? 2 * capacity() : 16);
    }

    // Sets the key's value, adding a cell when the key has none; adding
    // needs the room made beforehand (or a cell erased since).
    void put(const Mm* key, const V& value) noexcept
    {
        assert(key && cells_);
        std::size_t i = home(key);
        while (cells_[i].key && cells_[i].key != key)
            i = (i + 1) & mask_;
        if (!cells_[i].key) {
            assert(used_ + 1 < capacity());
            cells_[i].key = key;
            ++used_;
        }
        cells_[i].value = value;
    }

    // Asks for the home cell of a key to be brought into the cache.
    void prefetch(const Mm* key) const noexcept
    {
        const cell* const cells = cells_.get();  // as in name_table::prefetch
        if (used_ != 0)
            __builtin_prefetch(cells + home(key));
    }

    bool erase(const Mm* key) noexcept
    {
        std::size_t hole = locate(key);
        if (hole == absent)
            return false;
        for (std::size_t j = (hole + 1) & mask_; cells_[j].key; j = (j + 1) & mask_) {
            if (((j - home(cells_[j].key)) & mask_) >= ((j - hole) & mask_)) {
                cells_[hole] = cells_[j];
                hole = j;
            }
        }
        cells_[hole].key = nullptr;
        --used_;
        return true;
    }

    void release() noexcept
    {
        cells_.reset();
        mask_ = 0;
        shift_ = 63;
        used_ = 0;
    }

private:
    struct cell {
        const Mm* key;  // null: empty
        V value;
    };
    static constexpr std::size_t absent = ~std::size_t{0};

    std::size_t capacity() const noexcept { return cells_ ? mask_ + 1 : 0; }
    std::size_t home(const Mm* key) const noexcept { return home(key, shift_, mask_); }
    static std::size_t home(const Mm* key, unsigned shift, std::size_t mask) noexcept
    {
        const auto p = reinterpret_cast<std::uintptr_t>(key);
        const auto page = static_cast<std::size_t>(((p >> 12) * 0x9e3779b97f4a7c15ull) >> shift);
        return (page + ((p >> 4) & 255)) & mask;
    }

    std::size_t locate(const Mm* key) const noexcept
    {
        if (used_ == 0 || !key)
            return absent;
        for (std::size_t i = home(key); cells_[i].key; i = (i + 1) & mask_)
            if (cells_[i].key == key)
                return i;
        return absent;
    }

    void regrow(std::size_t size)
    {
        std::unique_ptr<cell[]> grown(new cell[size]());
        unsigned shift = 64;
        for (std::size_t s = size; s > 1; s >>= 1)
            --shift;
        const std::size_t mask = size - 1;
        for (std::size_t i = 0; i < capacity(); ++i) {
            if (!cells_[i].key)
                continue;
            std::size_t j = home(cells_[i].key, shift, mask);
            while (grown[j].key)
                j = (j + 1) & mask;
            grown[j] = cells_[i];
        }
        cells_ = std::move(grown);
        mask_ = mask;
        shift_ = shift;
    }

    std::unique_ptr<cell[]> cells_;
    std::size_t mask_ = 0;
    unsigned shift_ = 63;
    std::size_t used_ = 0;
};

// Where a value sits: its frame and slot.
struct slot_place {
    int frame;
    int slot;
};

// A slot's name as the registry filed it (the value's own name pointer may
// already point elsewhere when a rename arrives), with its hash.
struct slot_name {
    std::string text;
    std::uint32_t hash;
};

// The registry's index for one frame: the name of each slot, parallel to
// the frame's arrays (as long as the part of them in use, holes included),
// and the slots by name. A hole is a null entry with an empty name and no
// cell; the last slot in use is never one.
struct frame_index {
    std::vector<slot_name> names;
    name_table named;
    int holes = 0;

    int used() const noexcept { return static_cast<int>(names.size()); }

    // The first slot of a name, as a walk of the frame would find it.
    int first(const char* name, std::size_t n, std::uint32_t hash) const noexcept
    {
        return named.first(hash, [&](int k) {
            const std::string& t = names[static_cast<std::size_t>(k)].text;
            return t.size() == n && std::memcmp(t.data(), name, n) == 0;
        });
    }
};

// Where every registered value sits, kept beside the registry's arrays so
// that its searches are look-ups: registering n names costs n look-ups,
// not n walks of everything registered before them. The tables are flat,
// so that a name costs no heap node and a look-up touches a cell or two.
// Made on first use and never destroyed, so that values registered by
// static initialisers and released by static destructors always find it.
struct registry_index {
    // Every value in a slot.
    pointer_map<slot_place> slot_of;
    // Every value another one links to: that one (one link points at it).
    pointer_map<Mm*> linked_from;
    std::vector<frame_index> frames;
};

registry_index& index_of_slots()
{
    static registry_index* index = [] {
        auto* r = new registry_index;
        r->frames.resize(variables_scope_t::frames);
        return r;
    }();
    return *index;
}

frame_index& frame_of_index(int frame) { return index_of_slots().frames[static_cast<std::size_t>(frame)]; }

// Points from at to (null: no link), keeping the record of who links to
// what. The record of the new link is the one step that can be refused
// memory, so it comes first: refused, nothing has changed.
void set_link(Mm* from, Mm* to)
{
    registry_index& ix = index_of_slots();
    Mm* const old = from->getscopelink();
    if (to) {
        if (!ix.linked_from.find(to))
            ix.linked_from.make_room();
        ix.linked_from.put(to, from);
    }
    if (old && old != to) {
        Mm* const* by = ix.linked_from.find(old);
        if (by && *by == from)
            ix.linked_from.erase(old);
    }
    from->setscopelink(to);
}

// Files slot k of a frame under a name in place of the one it had: done
// whole or, refused memory, not begun. Only the copy of a long name asks
// for memory; the slot's cell moves within the table, which keeps its size.
void rename_slot(int frame, int k, const char* name)
{
    frame_index& fx = frame_of_index(frame);
    slot_name& filed = fx.names[static_cast<std::size_t>(k)];
    if (!name)
        name = "";
    const std::size_t n = std::strlen(name);
    if (filed.text.size() == n && std::memcmp(filed.text.data(), name, n) == 0)
        return;
    std::string wanted(name, n);
    const std::uint32_t hash = name_hash(name, n);
    fx.named.erase(filed.hash, k);
    fx.named.insert(hash, k);
    filed.text = std::move(wanted);
    filed.hash = hash;
}

// Puts value in slot k of a frame's arrays in place of what was there. A
// rename of the slot, when the names differ, may be refused memory and goes
// first; the rest re-keys the slot's cell in the index and allocates
// nothing (the cell of the old value makes room for the new one), so the
// arrays and the index never disagree.
void fill_slot(Mm** entries, int* owned, int frame, int k, Mm* value, int own)
{
    rename_slot(frame, k, value->getname());
    registry_index& ix = index_of_slots();
    [[maybe_unused]] const bool was_filed = ix.slot_of.erase(entries[k]);
    assert(was_filed && !ix.slot_of.find(value));
    entries[k] = value;
    owned[k] = own;
    ix.slot_of.put(value, {frame, k});
}

// Forgets the slots of a frame about to be dropped whole.
void forget_frame(Mm** entries, int frame)
{
    registry_index& ix = index_of_slots();
    frame_index& fx = frame_of_index(frame);
    for (int k = 0; k < fx.used(); ++k)
        ix.slot_of.erase(entries[k]);
    fx.names.clear();
    fx.named.clear();
    fx.holes = 0;
}

// The slot of a frame that a walk would find first under the name (holes
// counted as slots); -1 when there is none. Names change only through
// setname, which files the slot anew.
int slot_named(Mm* const* entries, const char* name, int frame) noexcept
{
    const std::size_t n = std::strlen(name);
    const frame_index& fx = frame_of_index(frame);
    const int k = fx.first(name, n, name_hash(name, n));
    assert(k < fx.used() && (k < 0 || std::strcmp(entries[k]->getname(), name) == 0));
    (void)entries;
    return k;
}

// Closes the holes of a frame: the live slots move down in their order, so
// that a slot's place is its position among the live ones again. Nothing is
// allocated (the name table is refilled in the room it has), so a
// destructor or a read may do it.
void close_holes(Mm** entries, int* owned, int frame) noexcept
{
    frame_index& fx = frame_of_index(frame);
    if (fx.holes == 0)
        return;
    registry_index& ix = index_of_slots();
    fx.named.clear();
    int to = 0;
    for (int k = 0; k < fx.used(); ++k) {
        if (!entries[k])
            continue;
        if (to != k) {
            entries[to] = entries[k];
            owned[to] = owned[k];
            fx.names[static_cast<std::size_t>(to)] = std::move(fx.names[static_cast<std::size_t>(k)]);
            slot_place* at = ix.slot_of.find(entries[to]);
            assert(at);
            if (at)
                at->slot = to;
        }
        fx.named.insert(fx.names[static_cast<std::size_t>(to)].hash, to);
        ++to;
    }
    fx.names.resize(static_cast<std::size_t>(to));
    fx.holes = 0;
}

} // namespace

bool variables_scope_t::check_entry(int k, int frame) const
{
    if (frame < 0 || frame >= frames || k < 0 || k >= count[frame]) {
        error("variable_scope: index out of range");
        return false;
    }
    // A position counts the live slots: the holes before it are closed.
    close_holes(entries[frame], owned[frame], frame);
    return true;
}

int variables_scope_t::scope_frame_of(const Mm* value) const { return value->isglobal() ? 0 : top; }

int variables_scope_t::scope_find(const char* name, int frame) const
{
    if (!name || frame < 0 || frame >= frames || !entries[frame])
        return -1;
    // The answer is a position among the live slots.
    close_holes(entries[frame], owned[frame], frame);
    return slot_named(entries[frame], name, frame);
}

Mm* variables_scope_t::scope_lookup(const char* name, int frame) const
{
    if (!name || frame < 0 || frame >= frames || !entries[frame])
        return nullptr;
    int k = slot_named(entries[frame], name, frame);
    if (k >= 0)
        return entries[frame][k];
    // A value registered under its name followed by "_" answers to the name.
    const std::string alias = std::string(name) + "_";
    k = slot_named(entries[frame], alias.c_str(), frame);
    return k >= 0 ? entries[frame][k] : nullptr;
}

int variables_scope_t::scope_count(int frame) const
{
    return frame >= 0 && frame < frames ? count[frame] : 0;
}

Mm* variables_scope_t::scope_entry(int k, int frame) const
{
    return check_entry(k, frame) ? entries[frame][k] : nullptr;
}

const char* variables_scope_t::scope_entry_name(int k, int frame) const
{
    return check_entry(k, frame) ? entries[frame][k]->getname() : nullptr;
}

void variables_scope_t::remove_slot(int k, int frame)
{
    constexpr int ahead = 4;
    registry_index& ix = index_of_slots();
    frame_index& fx = frame_of_index(frame);
    // The chain behind a value that leaves its slot is out of reach: no
    // later splice may follow its links (their values may die unseen).
    for (const Mm* v = entries[frame][k]; v && v->getscopelink(); v = v->getscopelink()) {
        Mm* const* by = ix.linked_from.find(v->getscopelink());
        if (by && *by == v)
            ix.linked_from.erase(v->getscopelink());
    }
    ix.slot_of.erase(entries[frame][k]);
    slot_name& filed = fx.names[static_cast<std::size_t>(k)];
    fx.named.erase(filed.hash, k);
    --count[frame];
    // Nothing moves: the slot becomes a hole (a removal runs from
    // destructors, which cannot report a refusal, so nothing is made
    // anew either). The last slot goes with the holes before it.
    entries[frame][k] = nullptr;
    owned[frame][k] = 0;
    if (k + 1 < fx.used()) {
        std::string().swap(filed.text);
        ++fx.holes;
        // Holes as many as the live slots are closed up: the walk costs
        // no more than the removals that made them.
        if (fx.holes > count[frame])
            close_holes(entries[frame], owned[frame], frame);
        return;
    }
    int last = k;
    while (last > 0 && !entries[frame][last - 1]) {
        --last;
        --fx.holes;
    }
    fx.names.resize(static_cast<std::size_t>(last));
    // Frames are emptied from the last slot down (a frame that closes, a
    // clear): the cells of a slot a few places down are fetched while this
    // one is dropped, so that they are at hand when its turn comes.
    if (last >= ahead && entries[frame][last - ahead]) {
        fx.named.prefetch(fx.names[static_cast<std::size_t>(last - ahead)].hash, true);
        ix.slot_of.prefetch(entries[frame][last - ahead]);
    }
}

bool variables_scope_t::find_slot(const Mm* value, int& frame, int& k) const
{
    const slot_place* at = index_of_slots().slot_of.find(value);
    if (!at)
        return false;
    const int highest = top < frames ? top : frames - 1;
    const auto [f, m] = *at;
    if (f > highest || m >= frame_of_index(f).used() || entries[f][m] != value)
        return false;
    frame = f;
    k = m;
    return true;
}

bool variables_scope_t::splice_link(const Mm* value)
{
    Mm* const* by = index_of_slots().linked_from.find(value);
    if (!by)
        return false;
    set_link(*by, value->getscopelink());
    return true;
}

bool variables_scope_t::refers_to(const Mm* value) const
{
    for (int f = 0; f < frames; ++f)
        for (int m = 0; m < frame_of_index(f).used(); ++m)
            for (const Mm* v = entries[f][m]; v; v = v->getscopelink())
                if (v == value)
                    return true;
    return false;
}

void variables_scope_t::leave_registry(Mm* value)
{
    int f = 0, k = 0;
    if (!find_slot(value, f, k)) {
        splice_link(value);
    } else {
        Mm* linked = value->getscopelink();
        bool handed = false;
        if (linked) {
            try {
                fill_slot(entries[f], owned[f], f, k, linked, 0);
                handed = true;
            } catch (...) {
            }
        }
        if (!handed)
            remove_slot(k, f);
    }
    set_link(value, nullptr);
}

void variables_scope_t::scope_register(Mm* value, int own)
{
    const char* name = value->getname();
    if (!name) {
        // A value that loses its name is no longer looked for when it dies:
        // nothing may keep pointing at it.
        leave_registry(value);
        return;
    }
    int f = scope_frame_of(value);
    if (f < 0 || f >= frames)
        return;
    // The name's home in the table is asked for now and read below, after
    // the look-up of the value itself; its cell as well, which a new name
    // takes (a write that misses the cache holds up what follows it).
    const std::size_t length = std::strlen(name);
    const std::uint32_t hash = name_hash(name, length);
    frame_of_index(f).named.prefetch(hash, true);
    // A value already in the registry: under this name in this frame it
    // stays as it is; under another (a rename) its old slot goes first,
    // unless it shadows nothing and its new name finds that slot first.
    // One that shadows others leaves them their name's slot and its content.
    int old_frame = 0, old_k = 0;
    if (find_slot(value, old_frame, old_k)) {
        const bool renamed =
            frame_of_index(old_frame).names[static_cast<std::size_t>(old_k)].text != name;
        try {
            rename_slot(old_frame, old_k, name);  // setname has changed it already
        } catch (...) {
            // Refused: rather than stay filed under a name it no longer
            // has, the value leaves the registry.
            leave_registry(value);
            throw;
        }
        if (old_frame == f && frame_of_index(f).first(name, length, hash) == old_k &&
            !(renamed && value->getscopelink()))
            return;
        if (Mm* linked = value->getscopelink()) {
            *linked = *value;
            fill_slot(entries[old_frame], owned[old_frame], old_frame, old_k, linked, 0);
            set_link(value, nullptr);
        } else {
            remove_slot(old_k, old_frame);
        }
    } else {
        // Out of any chain it was in, and without the link it had there: a
        // value registered anew (a renamed one) shadows only what its new
        // name finds, or two chains would share its old successor.
        splice_link(value);
        set_link(value, nullptr);
    }
    value->getflags().persistent = (f == 0 || f == 1) ? 1 : 0;
    int k = frame_of_index(f).first(name, length, hash);
    if (k >= 0) {
        *value = *entries[f][k];
        if (!owned[f][k]) {
            set_link(value, entries[f][k]);
            fill_slot(entries[f], owned[f], f, k, value, own);
            return;
        }
        drop_entry(k, f);
    }
    registry_index& ix = index_of_slots();
    frame_index& fx = frame_of_index(f);
    const int at = fx.used();
    if (at + 1 > capacity[f]) {
        int grown = 2 * capacity[f] + 4;
        Mm** e = static_cast<Mm**>(Mm::operator new(sizeof(Mm*) * grown));
        int* o;
        try {
            o = static_cast<int*>(Mm::operator new(sizeof(int) * grown));
        } catch (...) {
            Mm::operator delete(e);
            throw;
        }
        for (int m = 0; m < at; ++m) {
            e[m] = entries[f][m];
            o[m] = owned[f][m];
        }
        Mm::operator delete(entries[f]);
        Mm::operator delete(owned[f]);
        entries[f] = e;
        owned[f] = o;
        capacity[f] = grown;
    }
    // The index makes its room first and then takes the slot: should it be
    // refused memory, the arrays and the index are as they were.
    fx.named.make_room();
    ix.slot_of.make_room();
    fx.names.push_back({std::string(name, length), hash});
    fx.named.insert(hash, at);
    ix.slot_of.put(value, {f, at});
    entries[f][at] = value;
    owned[f][at] = own;
    ++count[f];
}

void variables_scope_t::scope_unregister(Mm* value)
{
    const char* name = value->getname();
    if (!name)
        return;
    // Only the slot that holds this very value, in the frame it registered
    // in; a value shadowed by a later one leaves the chain of links.
    int f = 0, k = 0;
    if (!find_slot(value, f, k)) {
        splice_link(value);
        assert(!refers_to(value));
        return;
    }
    if (Mm* linked = value->getscopelink()) {
        // The slot is handed on before the content: a refusal of either
        // leaves no slot holding this value once it is gone.
        try {
            fill_slot(entries[f], owned[f], f, k, linked, 0);
        } catch (...) {
            remove_slot(k, f);
            throw;
        }
        set_link(value, nullptr);
        *linked = *value;
    } else if (value->getflags().persistent) {
        // Keep the content in the workspace under a copy of the name.
        std::size_t len = std::strlen(name);
        char* copy_name = static_cast<char*>(qv_malloc(len + 1));
        if (!copy_name) {
            remove_slot(k, f);
            return;
        }
        std::memcpy(copy_name, name, len + 1);
        Mm* keep;
        try {
            keep = new Mm(*value, copy_name);
        } catch (...) {
            qv_free(copy_name);
            remove_slot(k, f);
            throw;
        }
        try {
            fill_slot(entries[f], owned[f], f, k, keep, 1);
        } catch (...) {
            delete keep;
            qv_free(copy_name);
            remove_slot(k, f);
            throw;
        }
    } else {
        remove_slot(k, f);
    }
    assert(!refers_to(value));
}

void variables_scope_t::scope_remove_entry(int k, int frame)
{
    if (frame < 0 || frame >= frames || k < 0 || k >= count[frame])
        return;
    // A position counts the live slots: the holes before it are closed.
    close_holes(entries[frame], owned[frame], frame);
    drop_entry(k, frame);
}

void variables_scope_t::drop_entry(int k, int frame)
{
    Mm* entry = entries[frame][k];
    bool is_copy = owned[frame][k] != 0;
    remove_slot(k, frame);
    if (is_copy) {
        // The copy has no scope link and is not persistent: its destructor
        // leaves nothing behind.
        char* copy_name = const_cast<char*>(entry->getname());
        delete entry;
        qv_free(copy_name);
    }
}

void variables_scope_t::scope_remove_value(Mm* value)
{
    int f = 0, k = 0;
    if (!find_slot(value, f, k)) {
        f = scope_frame_of(value);
        const char* name = value->getname();
        k = name && f >= 0 && f < frames && entries[f] ? slot_named(entries[f], name, f) : -1;
    }
    if (k >= 0)
        drop_entry(k, f);
}

void variables_scope_t::scope_clear_entry(int k) { scope_remove_entry(k, top); }

void variables_scope_t::begin()
{
    // The depth rises even when the frame is refused, so that the caller's
    // matching end() lowers it again.
    ++top;
    if (top >= frames) {
        error("Call stack too deep");
        return;
    }
    forget_frame(entries[top], top);
    count[top] = 0;
}

void variables_scope_t::end()
{
    if (top < 0)
        return;
    if (top >= frames) {
        --top;
        return;
    }
    // From the last slot down; the last slot in use is never a hole.
    const frame_index& fx = frame_of_index(top);
    while (fx.used() > 0)
        drop_entry(fx.used() - 1, top);
    count[top] = 0;
    --top;
}

void variables_scope_t::reset()
{
    while (top > 1)
        end();
}

void variables_scope_t::shutdown()
{
    reset();
    end();
    end();
    for (int f = 0; f < frames; ++f) {
        forget_frame(entries[f], f);
        frame_index& fx = frame_of_index(f);
        std::vector<slot_name>().swap(fx.names);
        fx.named.release();
        Mm::operator delete(entries[f]);
        Mm::operator delete(owned[f]);
        entries[f] = nullptr;
        owned[f] = nullptr;
        count[f] = capacity[f] = 0;
    }
    index_of_slots().slot_of.release();
    index_of_slots().linked_from.release();
}
