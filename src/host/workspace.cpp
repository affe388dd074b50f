// The workspace registry: named values by call frame. Values register when
// they get a name and unregister when they die; the variables of frames 0
// and 1 outlive their objects as owned copies.
#include "value/report.hpp"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

int scope_tracking = 0;

namespace {

// Where every registered value sits, kept beside the registry's arrays so
// that its searches are look-ups: registering n names costs n look-ups,
// not n walks of everything registered before them. Made on first use and
// never destroyed, so that values registered by static initialisers and
// released by static destructors always find it.
struct registry_index {
    // Every value in a slot: its frame and slot.
    std::unordered_map<const Mm*, std::pair<int, int>> slot_of;
    // Every value another one links to: that one (one link points at it).
    std::unordered_map<const Mm*, Mm*> linked_from;
    // Per frame: the name of each slot's value, and the slots of each name
    // (more than one when a value is renamed to a name already present).
    std::vector<std::vector<std::string>> names;
    std::vector<std::unordered_map<std::string, std::set<int>>> slot_named;
};

registry_index& index_of_slots()
{
    static registry_index* index = [] {
        auto* r = new registry_index;
        r->names.resize(variables_scope_t::frames);
        r->slot_named.resize(variables_scope_t::frames);
        return r;
    }();
    return *index;
}

// Points from at to (null: no link), keeping the record of who links to
// what. The record of the new link is the one step that can be refused
// memory, so it comes first: refused, nothing has changed.
void set_link(Mm* from, Mm* to)
{
    registry_index& ix = index_of_slots();
    Mm* const old = from->getscopelink();
    if (to)
        ix.linked_from[to] = from;
    if (old && old != to) {
        const auto it = ix.linked_from.find(old);
        if (it != ix.linked_from.end() && it->second == from)
            ix.linked_from.erase(it);
    }
    from->setscopelink(to);
}

// Files slot k of a frame under a name in place of the one it had: done
// whole or, refused memory, not begun. The slot's node moves from the old
// name's set to the new one's; only a name new to the frame asks for memory.
void rename_slot(int frame, int k, const char* name)
{
    registry_index& ix = index_of_slots();
    std::string& key = ix.names[static_cast<std::size_t>(frame)][static_cast<std::size_t>(k)];
    if (!name)
        name = "";
    if (key == name)
        return;
    std::string wanted = name;
    auto& named = ix.slot_named[static_cast<std::size_t>(frame)];
    std::set<int>& slots = named[wanted];
    const auto old = named.find(key);
    if (old != named.end() && old->second.count(k)) {
        slots.insert(old->second.extract(k));
        if (old->second.empty())
            named.erase(old);
    } else {
        try {
            slots.insert(k);
        } catch (...) {
            if (slots.empty())
                named.erase(wanted);
            throw;
        }
    }
    key = std::move(wanted);
}

// Puts value in slot k of a frame's arrays in place of what was there. A
// rename of the slot, when the names differ, may be refused memory and goes
// first; the rest re-keys the slot's node in the index and allocates
// nothing (the map's size ends where it was, so it does not rehash), so the
// arrays and the index never disagree.
void fill_slot(Mm** entries, int* owned, int frame, int k, Mm* value, int own)
{
    rename_slot(frame, k, value->getname());
    registry_index& ix = index_of_slots();
    auto node = ix.slot_of.extract(entries[k]);
    assert(!node.empty() && ix.slot_of.find(value) == ix.slot_of.end());
    entries[k] = value;
    owned[k] = own;
    node.key() = value;
    node.mapped() = {frame, k};
    ix.slot_of.insert(std::move(node));
}

// Forgets the slots of a frame about to be dropped whole.
void forget_frame(Mm** entries, int count, int frame)
{
    registry_index& ix = index_of_slots();
    for (int k = 0; k < count; ++k)
        ix.slot_of.erase(entries[k]);
    ix.names[static_cast<std::size_t>(frame)].clear();
    ix.slot_named[static_cast<std::size_t>(frame)].clear();
}

} // namespace

bool variables_scope_t::check_entry(int k, int frame) const
{
    if (frame < 0 || frame >= frames || k < 0 || k >= count[frame]) {
        error("variable_scope: index out of range");
        return false;
    }
    return true;
}

int variables_scope_t::scope_frame_of(const Mm* value) const { return value->isglobal() ? 0 : top; }

int variables_scope_t::scope_find(const char* name, int frame) const
{
    if (!name || frame < 0 || frame >= frames || !entries[frame])
        return -1;
    // The first slot of that name, as a walk of the frame would find it:
    // names change only through setname, which files the slot anew.
    const auto& named = index_of_slots().slot_named[static_cast<std::size_t>(frame)];
    const auto it = named.find(name);
    if (it == named.end())
        return -1;
    const int k = *it->second.begin();
    assert(k < count[frame] && std::strcmp(entries[frame][k]->getname(), name) == 0);
    return k;
}

Mm* variables_scope_t::scope_lookup(const char* name, int frame) const
{
    int k = scope_find(name, frame);
    if (k >= 0)
        return entries[frame][k];
    if (!name)
        return nullptr;
    // A value registered under its name followed by "_" answers to the name.
    const std::string alias = std::string(name) + "_";
    k = scope_find(alias.c_str(), frame);
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
    registry_index& ix = index_of_slots();
    std::vector<std::string>& names = ix.names[static_cast<std::size_t>(frame)];
    auto& named = ix.slot_named[static_cast<std::size_t>(frame)];
    // The chain behind a value that leaves its slot is out of reach: no
    // later splice may follow its links (their values may die unseen).
    for (const Mm* v = entries[frame][k]; v && v->getscopelink(); v = v->getscopelink()) {
        const auto link = ix.linked_from.find(v->getscopelink());
        if (link != ix.linked_from.end() && link->second == v)
            ix.linked_from.erase(link);
    }
    ix.slot_of.erase(entries[frame][k]);
    const auto gone = named.find(names[static_cast<std::size_t>(k)]);
    if (gone != named.end()) {
        gone->second.erase(k);
        if (gone->second.empty())
            named.erase(gone);
    }
    for (int m = k + 1; m < count[frame]; ++m) {
        entries[frame][m - 1] = entries[frame][m];
        owned[frame][m - 1] = owned[frame][m];
        // Each moved slot's nodes are re-keyed, never made anew: a removal
        // runs from destructors, which cannot report a refusal half way.
        const auto at = ix.slot_of.find(entries[frame][m - 1]);
        assert(at != ix.slot_of.end());
        if (at != ix.slot_of.end())
            at->second = {frame, m - 1};
        const auto of = named.find(names[static_cast<std::size_t>(m)]);
        assert(of != named.end());
        if (of != named.end()) {
            auto node = of->second.extract(m);
            if (!node.empty()) {
                node.value() = m - 1;
                of->second.insert(std::move(node));
            }
        }
    }
    names.erase(names.begin() + k);
    --count[frame];
}

bool variables_scope_t::find_slot(const Mm* value, int& frame, int& k) const
{
    const registry_index& ix = index_of_slots();
    const auto it = ix.slot_of.find(value);
    if (it == ix.slot_of.end())
        return false;
    const int highest = top < frames ? top : frames - 1;
    const auto [f, m] = it->second;
    if (f > highest || m >= count[f] || entries[f][m] != value)
        return false;
    frame = f;
    k = m;
    return true;
}

bool variables_scope_t::splice_link(const Mm* value)
{
    const registry_index& ix = index_of_slots();
    const auto it = ix.linked_from.find(value);
    if (it == ix.linked_from.end())
        return false;
    set_link(it->second, value->getscopelink());
    return true;
}

bool variables_scope_t::refers_to(const Mm* value) const
{
    for (int f = 0; f < frames; ++f)
        for (int m = 0; m < count[f]; ++m)
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
    // A value already in the registry: under this name in this frame it
    // stays as it is; under another (a rename) its old slot goes first,
    // unless it shadows nothing and its new name finds that slot first.
    // One that shadows others leaves them their name's slot and its content.
    int old_frame = 0, old_k = 0;
    if (find_slot(value, old_frame, old_k)) {
        const bool renamed =
            index_of_slots().names[static_cast<std::size_t>(old_frame)][static_cast<std::size_t>(old_k)] != name;
        try {
            rename_slot(old_frame, old_k, name);  // setname has changed it already
        } catch (...) {
            // Refused: rather than stay filed under a name it no longer
            // has, the value leaves the registry.
            leave_registry(value);
            throw;
        }
        if (old_frame == f && scope_find(name, f) == old_k && !(renamed && value->getscopelink()))
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
    int k = scope_find(name, f);
    if (k >= 0) {
        *value = *entries[f][k];
        if (!owned[f][k]) {
            set_link(value, entries[f][k]);
            fill_slot(entries[f], owned[f], f, k, value, own);
            return;
        }
        scope_remove_entry(k, f);
    }
    if (count[f] + 1 > capacity[f]) {
        int grown = 2 * capacity[f] + 4;
        Mm** e = static_cast<Mm**>(Mm::operator new(sizeof(Mm*) * grown));
        int* o;
        try {
            o = static_cast<int*>(Mm::operator new(sizeof(int) * grown));
        } catch (...) {
            Mm::operator delete(e);
            throw;
        }
        for (int m = 0; m < count[f]; ++m) {
            e[m] = entries[f][m];
            o[m] = owned[f][m];
        }
        Mm::operator delete(entries[f]);
        Mm::operator delete(owned[f]);
        entries[f] = e;
        owned[f] = o;
        capacity[f] = grown;
    }
    // The index takes the slot first: should it refuse memory, the arrays
    // are as they were.
    registry_index& ix = index_of_slots();
    std::vector<std::string>& names = ix.names[static_cast<std::size_t>(f)];
    names.emplace_back(name);
    try {
        ix.slot_named[static_cast<std::size_t>(f)][names.back()].insert(count[f]);
        ix.slot_of[value] = {f, count[f]};
    } catch (...) {
        auto& named = ix.slot_named[static_cast<std::size_t>(f)];
        const auto it = named.find(names.back());
        if (it != named.end()) {
            it->second.erase(count[f]);
            if (it->second.empty())
                named.erase(it);
        }
        names.pop_back();
        throw;
    }
    entries[f][count[f]] = value;
    owned[f][count[f]] = own;
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
    if (find_slot(value, f, k)) {
        scope_remove_entry(k, f);
        return;
    }
    f = scope_frame_of(value);
    k = scope_find(value->getname(), f);
    if (k >= 0)
        scope_remove_entry(k, f);
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
    forget_frame(entries[top], count[top], top);
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
    while (count[top] > 0)
        scope_remove_entry(count[top] - 1, top);
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
        forget_frame(entries[f], count[f], f);
        Mm::operator delete(entries[f]);
        Mm::operator delete(owned[f]);
        entries[f] = nullptr;
        owned[f] = nullptr;
        count[f] = capacity[f] = 0;
    }
    index_of_slots().linked_from.clear();
}
