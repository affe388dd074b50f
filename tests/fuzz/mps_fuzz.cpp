// The MPS reader: fuzzed bytes as the file, read alone and read then solved
// by lp. The reader ends with status 0, 8 or 9 and the solver with a status
// of its table; on success the problem's arrays are consistent.
#include "fuzz_support.hpp"

#include "optim/lp_solver.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    static const std::string path = "/tmp/numrun_mps_fuzz_" + std::to_string(getpid()) + ".mps";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    LpSolver reader;
    reader.read_mps_only(path.c_str());
    if (reader.status != 0 && reader.status != 9 && reader.status != -7)
        std::abort();
    if (reader.status == 0) {
        if (static_cast<int>(reader.cols_.size()) != reader.n_ || static_cast<int>(reader.b_.size()) != reader.m_ ||
            static_cast<int>(reader.kind_.size()) != reader.m_ || static_cast<int>(reader.l_.size()) != reader.n_)
            std::abort();
        for (const auto& col : reader.cols_)
            for (std::size_t k = 0; k < col.size(); ++k)
                if (col[k].index < 0 || col[k].index >= reader.m_ || (k > 0 && col[k - 1].index > col[k].index))
                    std::abort();  // rows in range and in order
    }
    reader.release();

    // Small problems are solved as well; the solve must end with a status.
    if (size < 4096) {
        LpSolver solver;
        solver.load_mps(path.c_str());
        if (solver.status > 9 || solver.status < -7)
            std::abort();
        if (solver.status == 1 && static_cast<int>(solver.x().size()) != solver.loaded_cols())
            std::abort();
        solver.release();
        fuzz::guarded([&] {
            Mm x, lambda;
            lp(TM(path.c_str()), i_o, x, lambda);
        });
    }
    std::remove(path.c_str());
    return 0;
}
