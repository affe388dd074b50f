// Sequences of index reads, assignments and deletions on a seed value. Each
// refused assignment must leave the target bit for bit as it was; each
// accepted one must leave a value whose description holds together.
// The input: one byte choosing the seed, then per step one byte for the
// operation followed by bytes that build its indices and source.
#include "fuzz_support.hpp"

#include <cstdlib>
#include <string>

namespace {

Mm seed(std::uint8_t which)
{
    switch (which % 8) {
    case 0: return reshape(colon(1.0, 12.0), Mm(3.0), Mm(4.0));
    case 1: return muint8(reshape(colon(1.0, 6.0), Mm(2.0), Mm(3.0)));
    case 2: {
        const Mm a(1.0), b = TM("ab"), c = colon(1.0, 3.0);
        const Mm* items[] = {&a, &b, &c};
        return cell_from_array(3, items);
    }
    case 3: {
        Mm s;
        s.member("a") = Mm(1.0);
        s.member("b") = TM("x");
        s(Mm(2.0)).member("a") = Mm(2.0);
        return s;
    }
    case 4: return mcomplex(reshape(colon(1.0, 4.0), Mm(2.0), Mm(2.0)), ones(Mm(2.0), Mm(2.0)));
    case 5: return TM("hello");
    case 6: return sparse(eye(Mm(3.0), Mm(3.0)));
    default: return reshape(colon(1.0, 8.0), Mm(2.0), Mm(2.0), Mm(2.0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    Mm x(seed(in.take()), "x");
    for (int step = 0; step < 16 && !in.empty(); ++step) {
        const int op = in.take() % 10;
        const Mm i = in.matrix(), j = in.matrix(), v = in.matrix();
        if (op <= 1) {
            fuzz::guarded([&] { fuzz::check_whole(op == 0 ? Mm(x(i)) : Mm(x(i, j))); });
            continue;
        }
        const std::string before = fuzz::fingerprint(x);
        try {
            switch (op) {
            case 2: x(i) = v; break;
            case 3: x(i, j) = v; break;
            case 4: x(i) = x_M; break;
            case 5: x(i, j) = x_M; break;
            case 6: x.br(i) = v; break;
            case 7: x(i, j, v) = Mm(7.0); break;
            case 8: x(i) = sparse(v); break;
            default: x.br(i)(j) = v; break;
            }
        } catch (const char*) {
            if (fuzz::fingerprint(x) != before)
                std::abort();  // a refused assignment changed its target
            continue;
        } catch (const std::bad_alloc&) {
            continue;
        }
        fuzz::check_whole(x);
    }
    return 0;
}
