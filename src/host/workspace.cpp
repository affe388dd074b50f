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
#include <string>

int scope_tracking = 0;

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
    for (int k = 0; k < count[frame]; ++k) {
        const char* n = entries[frame][k]->getname();
        if (n && std::strcmp(n, name) == 0)
            return k;
    }
    return -1;
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
    for (int m = k + 1; m < count[frame]; ++m) {
        entries[frame][m - 1] = entries[frame][m];
        owned[frame][m - 1] = owned[frame][m];
    }
    --count[frame];
}

bool variables_scope_t::find_slot(const Mm* value, int& frame, int& k) const
{
    const int highest = top < frames ? top : frames - 1;
    for (int f = highest; f >= 0; --f)
        for (int m = 0; m < count[f]; ++m)
            if (entries[f][m] == value) {
                frame = f;
                k = m;
                return true;
            }
    return false;
}

bool variables_scope_t::splice_link(const Mm* value)
{
    const int highest = top < frames ? top : frames - 1;
    for (int f = highest; f >= 0; --f)
        for (int m = 0; m < count[f]; ++m)
            for (Mm* v = entries[f][m]; v; v = v->getscopelink())
                if (v->getscopelink() == value) {
                    v->setscopelink(value->getscopelink());
                    return true;
                }
    return false;
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

void variables_scope_t::scope_register(Mm* value, int own)
{
    const char* name = value->getname();
    if (!name)
        return;
    int f = scope_frame_of(value);
    if (f < 0 || f >= frames)
        return;
    // A value already in the registry: under this name in this frame it
    // stays as it is; under another (a rename) its old slot goes first.
    int old_frame = 0, old_k = 0;
    if (find_slot(value, old_frame, old_k)) {
        if (old_frame == f && scope_find(name, f) == old_k)
            return;
        if (Mm* linked = value->getscopelink()) {
            *linked = *value;
            entries[old_frame][old_k] = linked;
            owned[old_frame][old_k] = 0;
            value->setscopelink(nullptr);
        } else {
            remove_slot(old_k, old_frame);
        }
    } else {
        splice_link(value);
    }
    value->getflags().persistent = (f == 0 || f == 1) ? 1 : 0;
    int k = scope_find(name, f);
    if (k >= 0) {
        *value = *entries[f][k];
        if (!owned[f][k]) {
            value->setscopelink(entries[f][k]);
            entries[f][k] = value;
            owned[f][k] = own;
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
        *linked = *value;
        entries[f][k] = linked;
        owned[f][k] = 0;
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
        entries[f][k] = keep;
        owned[f][k] = 1;
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
        Mm::operator delete(entries[f]);
        Mm::operator delete(owned[f]);
        entries[f] = nullptr;
        owned[f] = nullptr;
        count[f] = capacity[f] = 0;
    }
}
