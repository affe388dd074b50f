// Shapes: concatenation, reshape, permute, repmat, flips, transposes and
// sparse values from triplets, over fuzzed matrices and size arguments.
// The input: bytes that build two matrices, then the size arguments.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const Mm a = in.matrix(), b = in.matrix();
    const Mm m(in.number()), n(in.number()), p(in.number());
    const Mm order = in.matrix();
    auto whole = [](const Mm& r) { fuzz::check_whole(r); };
    fuzz::guarded([&] { whole(horzcat(a, b)); });
    fuzz::guarded([&] { whole(vertcat(a, b)); });
    fuzz::guarded([&] { whole(cat(m, a, b)); });
    fuzz::guarded([&] { whole(reshape(a, m, n)); });
    fuzz::guarded([&] { whole(reshape(a, m, n, p)); });
    fuzz::guarded([&] { whole(reshape(a, order)); });
    fuzz::guarded([&] { whole(permute(a, order)); });
    fuzz::guarded([&] { whole(ipermute(a, order)); });
    fuzz::guarded([&] { whole(repmat(a, m, n)); });
    fuzz::guarded([&] { whole(repmat(a, order)); });
    fuzz::guarded([&] { whole(squeeze(repmat(a, order))); });
    fuzz::guarded([&] { whole(rot90(a, m)); });
    fuzz::guarded([&] { whole(flipdim(a, m)); });
    fuzz::guarded([&] { whole(ctranspose(b)); });
    fuzz::guarded([&] { whole(diag(a, m)); });
    fuzz::guarded([&] { whole(tril(a, m)); });
    fuzz::guarded([&] {
        const Mm s = sparse(a, b, order, m, n);
        whole(s);
        whole(full(s));
    });
    fuzz::guarded([&] { whole(sparse(a, b, order)); });
    return 0;
}
