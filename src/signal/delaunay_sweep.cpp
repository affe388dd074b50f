// The sweep-line kernel: beach line with its hash, bucketed event queue,
// bisector and intersection geometry, and the triangle emission.
#include "signal/delaunay_sweep.hpp"

#include <cmath>

namespace {

constexpr int le = 0, re = 1;

// The marker of a half-edge that has left the beach line.
sweep_edge deleted_marker;
sweep_edge* const deleted = &deleted_marker;

// floor(t) clamped to 0 .. size - 1; NaN gives 0.
int clamped_bucket(double t, int size)
{
    if (!(t >= 0))
        return 0;
    if (t >= size)
        return size - 1;
    return static_cast<int>(t);
}

class sweep {
public:
    explicit sweep(sweep_state& s) : st(s) {}
    void run();

private:
    sweep_state& st;

    void ref(sweep_site* v) { ++v->refcnt; }
    void deref(sweep_site* v)
    {
        if (--v->refcnt == 0 && v->vertex)
            st.vertices.give_back(v);
    }

    sweep_site* next_site() { return st.next_site < st.sites.size() ? &st.sites[st.next_site++] : nullptr; }

    // ---- beach line ----
    sweep_halfedge* he_create(sweep_edge* e, int side)
    {
        sweep_halfedge* he = st.halfedges.take();
        he->edge = e;
        he->side = side;
        return he;
    }

    void el_initialize()
    {
        const int size = 2 * st.sqrt_nsites;
        st.el_hash.assign(std::size_t(size), nullptr);
        st.el_left = he_create(nullptr, 0);
        st.el_right = he_create(nullptr, 0);
        st.el_left->right = st.el_right;
        st.el_right->left = st.el_left;
        st.el_hash[0] = st.el_left;
        st.el_hash[std::size_t(size) - 1] = st.el_right;
    }

    sweep_halfedge* el_gethash(int b)
    {
        if (b < 0 || b >= int(st.el_hash.size()))
            return nullptr;
        sweep_halfedge* he = st.el_hash[std::size_t(b)];
        if (he == nullptr || he->edge != deleted)
            return he;
        // a deleted half-edge is dropped from its slot lazily
        st.el_hash[std::size_t(b)] = nullptr;
        if (--he->refcnt == 0)
            st.halfedges.give_back(he);
        return nullptr;
    }

    static void el_insert(sweep_halfedge* lb, sweep_halfedge* he)
    {
        he->left = lb;
        he->right = lb->right;
        lb->right->left = he;
        lb->right = he;
    }

    static void el_delete(sweep_halfedge* he)
    {
        he->left->right = he->right;
        he->right->left = he->left;
        he->edge = deleted;
    }

    sweep_site* leftreg(const sweep_halfedge* he) const
    {
        if (he->edge == nullptr)
            return st.bottom;
        return he->side == le ? he->edge->reg[le] : he->edge->reg[re];
    }

    sweep_site* rightreg(const sweep_halfedge* he) const
    {
        if (he->edge == nullptr)
            return st.bottom;
        return he->side == le ? he->edge->reg[re] : he->edge->reg[le];
    }

    static bool right_of(const sweep_halfedge* el, double px, double py)
    {
        const sweep_edge* e = el->edge;
        const sweep_site* top = e->reg[1];
        const bool right = px > top->x;
        if (right && el->side == le)
            return true;
        if (!right && el->side == re)
            return false;
        bool above;
        if (e->a == 1.0) {
            const double dyp = py - top->y, dxp = px - top->x;
            bool fast = false;
            if (right == (e->b >= 0.0)) {
                above = dyp >= e->b * dxp;
                fast = above;
            } else {
                above = px + py * e->b > e->c;
                if (e->b < 0.0)
                    above = !above;
                if (!above)
                    fast = true;
            }
            if (!fast) {
                const double dxs = top->x - e->reg[0]->x;
                above = e->b * (dxp * dxp - dyp * dyp) < dxs * dyp * (1.0 + 2.0 * dxp / dxs + e->b * e->b);
                if (e->b < 0.0)
                    above = !above;
            }
        } else {
            const double yl = e->c - e->a * px;
            const double t1 = py - yl, t2 = px - top->x, t3 = yl - top->y;
            above = t1 * t1 > t2 * t2 + t3 * t3;
        }
        return el->side == le ? above : !above;
    }

    sweep_halfedge* el_leftbnd(double px, double py)
    {
        const int size = int(st.el_hash.size());
        const int bucket = clamped_bucket((px - st.xmin) / st.deltax * size, size);
        sweep_halfedge* he = el_gethash(bucket);
        for (int k = 1; he == nullptr; ++k) {
            if ((he = el_gethash(bucket - k)) != nullptr)
                break;
            he = el_gethash(bucket + k);
        }
        if (he == st.el_left || (he != st.el_right && right_of(he, px, py))) {
            do
                he = he->right;
            while (he != st.el_right && right_of(he, px, py));
            he = he->left;
        } else {
            do
                he = he->left;
            while (he != st.el_left && !right_of(he, px, py));
        }
        if (bucket > 0 && bucket < size - 1) {
            if (st.el_hash[std::size_t(bucket)] != nullptr)
                --st.el_hash[std::size_t(bucket)]->refcnt;
            st.el_hash[std::size_t(bucket)] = he;
            ++he->refcnt;
        }
        return he;
    }

    // ---- geometry ----
    sweep_edge* bisect(sweep_site* s1, sweep_site* s2)
    {
        sweep_edge* e = st.edges.take();
        e->reg[0] = s1;
        e->reg[1] = s2;
        ref(s1);
        ref(s2);
        const double dx = s2->x - s1->x, dy = s2->y - s1->y;
        e->c = s1->x * dx + s1->y * dy + (dx * dx + dy * dy) * 0.5;
        if (std::fabs(dx) > std::fabs(dy)) {
            e->a = 1.0;
            e->b = dy / dx;
            e->c /= dx;
        } else {
            e->b = 1.0;
            e->a = dx / dy;
            e->c /= dy;
        }
        e->edgenbr = st.nedges++;
        return e;
    }

    sweep_site* intersect(sweep_halfedge* el1, sweep_halfedge* el2)
    {
        sweep_edge* e1 = el1->edge;
        sweep_edge* e2 = el2->edge;
        if (e1 == nullptr || e2 == nullptr || e1->reg[1] == e2->reg[1])
            return nullptr;
        const double d = e1->a * e2->b - e1->b * e2->a;
        if (-1.0e-10 < d && d < 1.0e-10)
            return nullptr;
        const double xint = (e1->c * e2->b - e2->c * e1->b) / d;
        const double yint = (e2->c * e1->a - e1->c * e2->a) / d;
        const sweep_site* t1 = e1->reg[1];
        const sweep_site* t2 = e2->reg[1];
        const bool first = t1->y < t2->y || (t1->y == t2->y && t1->x < t2->x);
        const sweep_halfedge* el = first ? el1 : el2;
        const sweep_edge* e = first ? e1 : e2;
        const bool right = xint >= e->reg[1]->x;
        if ((right && el->side == le) || (!right && el->side == re))
            return nullptr;
        sweep_site* v = st.vertices.take();
        v->vertex = true;
        v->x = xint;
        v->y = yint;
        return v;
    }

    void endpoint(sweep_edge* e, int side, sweep_site* v)
    {
        e->ep[side] = v;
        ref(v);
        if (e->ep[re - side] == nullptr)
            return;
        // finished: the edge lets go of its sites and returns to its pool
        deref(e->reg[le]);
        deref(e->reg[re]);
        st.edges.give_back(e);
    }

    // ---- event queue ----
    static bool pq_before(const sweep_halfedge* a, const sweep_halfedge* b)
    {
        if (a->ystar != b->ystar)
            return a->ystar < b->ystar;
        if (a->vertex->x != b->vertex->x)
            return a->vertex->x < b->vertex->x;
        return a->pq_order > b->pq_order;
    }

    void pq_place(sweep_halfedge* he, std::size_t at)
    {
        st.pq_heap[at] = he;
        he->pq_at = static_cast<int>(at);
    }

    void pq_sift_up(std::size_t at)
    {
        sweep_halfedge* he = st.pq_heap[at];
        while (at > 0) {
            const std::size_t up = (at - 1) / 2;
            if (!pq_before(he, st.pq_heap[up]))
                break;
            pq_place(st.pq_heap[up], at);
            at = up;
        }
        pq_place(he, at);
    }

    void pq_sift_down(std::size_t at)
    {
        sweep_halfedge* he = st.pq_heap[at];
        const std::size_t n = st.pq_heap.size();
        for (;;) {
            std::size_t child = 2 * at + 1;
            if (child >= n)
                break;
            if (child + 1 < n && pq_before(st.pq_heap[child + 1], st.pq_heap[child]))
                ++child;
            if (!pq_before(st.pq_heap[child], he))
                break;
            pq_place(st.pq_heap[child], at);
            at = child;
        }
        pq_place(he, at);
    }

    // Takes he out of the heap, wherever it is.
    void pq_remove(sweep_halfedge* he)
    {
        const std::size_t at = static_cast<std::size_t>(he->pq_at);
        sweep_halfedge* last = st.pq_heap.back();
        st.pq_heap.pop_back();
        he->pq_at = -1;
        if (last == he)
            return;
        pq_place(last, at);
        pq_sift_up(at);
        pq_sift_down(static_cast<std::size_t>(last->pq_at));
    }

    void pq_insert(sweep_halfedge* he, sweep_site* v, double offset)
    {
        he->vertex = v;
        ref(v);
        he->ystar = v->y + offset;
        he->pq_order = st.pq_queued++;
        st.pq_heap.push_back(he);
        pq_sift_up(st.pq_heap.size() - 1);
    }

    void pq_delete(sweep_halfedge* he)
    {
        if (he->vertex == nullptr)
            return;
        pq_remove(he);
        deref(he->vertex);
        he->vertex = nullptr;
    }

    void pq_min(double& x, double& y)
    {
        const sweep_halfedge* first = st.pq_heap.front();
        x = first->vertex->x;
        y = first->ystar;
    }

    sweep_halfedge* pq_extractmin()
    {
        sweep_halfedge* first = st.pq_heap.front();
        pq_remove(first);
        return first;
    }

    static double dist(const sweep_site* a, const sweep_site* b)
    {
        const double dx = a->x - b->x, dy = a->y - b->y;
        return std::sqrt(dx * dx + dy * dy);
    }

    // ---- emission ----
    void out_triple(const sweep_site* bot, const sweep_site* top, const sweep_site* mid)
    {
        const int b = bot->number, t = top->number, m = mid->number;
        const std::int64_t r = std::int64_t(st.triangles.size() / 3);
        if (r < st.table_rows) {
            st.triangles.push_back(b);
            st.triangles.push_back(t);
            st.triangles.push_back(m);
        }
    }
};

void sweep::run()
{
    st.pq_heap.clear();
    st.pq_heap.reserve(std::size_t(4) * st.sqrt_nsites);
    st.pq_queued = 0;
    st.bottom = next_site();
    el_initialize();
    sweep_site* newsite = next_site();
    for (;;) {
        double mx = 0, my = 0;
        const bool events = !st.pq_heap.empty();
        if (events)
            pq_min(mx, my);
        if (newsite != nullptr &&
            (!events || newsite->y < my || (newsite->y == my && newsite->x < mx))) {
            sweep_halfedge* lbnd = el_leftbnd(newsite->x, newsite->y);
            sweep_halfedge* rbnd = lbnd->right;
            sweep_site* bot = rightreg(lbnd);
            sweep_edge* e = bisect(bot, newsite);
            sweep_halfedge* bisector = he_create(e, le);
            el_insert(lbnd, bisector);
            if (sweep_site* p = intersect(lbnd, bisector)) {
                pq_delete(lbnd);
                pq_insert(lbnd, p, dist(p, newsite));
            }
            lbnd = bisector;
            bisector = he_create(e, re);
            el_insert(lbnd, bisector);
            if (sweep_site* p = intersect(bisector, rbnd))
                pq_insert(bisector, p, dist(p, newsite));
            newsite = next_site();
        } else if (events) {
            sweep_halfedge* lbnd = pq_extractmin();
            sweep_halfedge* llbnd = lbnd->left;
            sweep_halfedge* rbnd = lbnd->right;
            sweep_halfedge* rrbnd = rbnd->right;
            sweep_site* bot = leftreg(lbnd);
            sweep_site* top = rightreg(rbnd);
            out_triple(bot, top, rightreg(lbnd));
            sweep_site* v = lbnd->vertex;
            v->number = st.nvertices++;
            endpoint(lbnd->edge, lbnd->side, v);
            endpoint(rbnd->edge, rbnd->side, v);
            el_delete(lbnd);
            pq_delete(rbnd);
            el_delete(rbnd);
            int side = le;
            if (bot->y > top->y) {
                std::swap(bot, top);
                side = re;
            }
            sweep_edge* e = bisect(bot, top);
            sweep_halfedge* bisector = he_create(e, side);
            el_insert(llbnd, bisector);
            endpoint(e, re - side, v);
            deref(v);
            if (sweep_site* p = intersect(llbnd, bisector)) {
                pq_delete(llbnd);
                pq_insert(llbnd, p, dist(p, bot));
            }
            if (sweep_site* p = intersect(bisector, rrbnd))
                pq_insert(bisector, p, dist(p, bot));
        } else {
            break;
        }
    }
    st.el_hash.clear();
    st.pq_heap.clear();
}

} // namespace

void sweep_run(sweep_state& state) { sweep(state).run(); }
