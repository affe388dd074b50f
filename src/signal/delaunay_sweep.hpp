// Fortune's sweep-line kernel under delaunay, tsearch, dsearch and
// griddata: every Voronoi vertex the sweep meets (a circle event) is
// emitted as one Delaunay triangle. One run owns all of its state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct sweep_site {
    double x = 0, y = 0;
    int number = 0;       // input position from 0, or the running vertex number
    int sorted = 0;       // position in the sorted order
    int refcnt = 0;       // edges and events holding the record
    bool vertex = false;  // a Voronoi vertex (pool record), not an input point
};

struct sweep_edge {
    double a = 0, b = 0, c = 0;  // the line a x + b y = c
    sweep_site* ep[2] = {nullptr, nullptr};
    sweep_site* reg[2] = {nullptr, nullptr};  // the two sites it bisects
    int edgenbr = 0;
};

struct sweep_halfedge {
    sweep_halfedge* left = nullptr;
    sweep_halfedge* right = nullptr;
    sweep_edge* edge = nullptr;  // null for the sentinels, the deleted marker once removed
    int refcnt = 0;              // hash slots pointing here
    int side = 0;                // 0 left, 1 right
    sweep_site* vertex = nullptr;
    double ystar = 0;            // the event's height
    int pq_at = -1;              // place in the event heap, -1 when not queued
    long long pq_order = 0;      // when it was queued: ties go newest first
};

// Nodes in blocks of a fixed count, with a free list; every block is held
// and released with the pool, so node addresses stay put for the run.
template <class T>
class node_pool {
public:
    explicit node_pool(std::size_t block) : block_(block < 1 ? 1 : block) {}
    T* take()
    {
        if (free_.empty()) {
            blocks_.push_back(std::make_unique<T[]>(block_));
            T* b = blocks_.back().get();
            for (std::size_t k = block_; k > 0; --k)
                free_.push_back(b + (k - 1));
        }
        T* node = free_.back();
        free_.pop_back();
        *node = T{};
        return node;
    }
    void give_back(T* node) { free_.push_back(node); }

private:
    std::size_t block_;
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::vector<T*> free_;
};

struct sweep_state {
    explicit sweep_state(std::size_t s) : halfedges(s), edges(s), vertices(s) {}

    std::vector<sweep_site> sites;  // the sorted input points
    std::size_t next_site = 0;
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0, deltax = 0, deltay = 0;
    int sqrt_nsites = 1;

    // beach line
    std::vector<sweep_halfedge*> el_hash;
    sweep_halfedge* el_left = nullptr;
    sweep_halfedge* el_right = nullptr;

    // event queue: a binary heap, first the lowest event (then the leftmost,
    // then the newest). Events of cocircular points share one height, so a
    // queue sorted within buckets of height would keep them in one list and
    // every insertion would walk it.
    std::vector<sweep_halfedge*> pq_heap;
    long long pq_queued = 0;

    sweep_site* bottom = nullptr;
    int nedges = 0, nvertices = 0;

    node_pool<sweep_halfedge> halfedges;
    node_pool<sweep_edge> edges;
    node_pool<sweep_site> vertices;

    // results
    int mode = 0;
    std::int64_t table_rows = 0;             // room: 2n + 50
    std::vector<int> triangles;              // row-major triples (bot, top, mid)
    // per input point (modes 1 to 4), its list in one array: entries
    // list_first[v] .. list_first[v + 1] - 1 of list_entries
    std::vector<int> list_first, list_entries;
};

// Runs the sweep over state.sites (sorted by y, then x, no two alike),
// filling the triangle table; the driver fills the per-point lists.
void sweep_run(sweep_state& state);
