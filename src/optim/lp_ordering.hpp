// The fill-reducing elimination order of a symmetric sparsity pattern, kept
// apart from the normal equations so that it can be checked on plain graphs.
#pragma once

#include <vector>

enum class OrderingStatus {
    ok,
    out_of_memory,  // also a pattern too large to number with int
    bad_pattern,    // a node number outside 0 .. n-1
    inconsistent,   // the elimination lost track of its nodes
};

// An approximate minimum degree order of the graph on nodes 0 .. n-1 with an
// edge (i, idx[p]) for every p in ptr[i] .. ptr[i+1]-1. The pattern may hold
// one triangle or both, repeated entries and self loops: the graph ordered is
// that of P + P' without its diagonal. Nodes of very large degree are set
// aside and come last. On success perm[k] is the node eliminated k-th, in a
// postorder of the elimination tree (so the columns of a supernode are
// adjacent); on failure perm is left as it was.
OrderingStatus approximate_minimum_degree(int n, const int* ptr, const int* idx, std::vector<int>& perm);
