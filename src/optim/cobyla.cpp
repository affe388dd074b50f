// Powell's derivative-free constrained minimiser (constrained optimisation
// by linear approximations): the simplex iteration and its trust-region
// linear-programming subproblem. The control flow keeps the published
// method's stages; the labels name them.
#include "optim/cobyla.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Column-major views with 1-based subscripts, so the formulas read as in
// the published description of the method.
struct matrix_view {
    double* p;
    int ld;
    double& operator()(int i, int j) const { return p[(i - 1) + static_cast<long long>(j - 1) * ld]; }
};
struct const_matrix_view {
    const double* p;
    int ld;
    double operator()(int i, int j) const { return p[(i - 1) + static_cast<long long>(j - 1) * ld]; }
};
struct vector_view {
    double* p;
    double& operator()(int i) const { return p[i - 1]; }
};

// A sum s whose terms' absolute values sum to s_abs is rounding noise when
// adding a tenth (or a fifth) of |s| does not change s_abs.
bool rounding_noise(double s, double s_abs, double tenth, double fifth)
{
    const double acca = s_abs + tenth * std::fabs(s);
    const double accb = s_abs + fifth * std::fabs(s);
    return s_abs >= acca || acca >= accb;
}

// The single-precision constants of the published method, where they are
// kept as they were.
constexpr double single_tenth = 0.10000000149011612;
constexpr double single_fifth = 0.20000000298023224;
constexpr double single_micro = 9.999999974752427e-07;

// Rotates columns k and kp of z so that the new z(:, k) is orthogonal to
// nothing it was not before: the Givens step that moves an active
// constraint down the list (zdota kept in step).
void rotate_down(int n, const matrix_view& z, double* zdota_p, int k, int kp, double sp)
{
    vector_view zdota{zdota_p};
    const double temp = std::sqrt(sp * sp + zdota(kp) * zdota(kp));
    const double alpha = zdota(kp) / temp;
    const double beta = sp / temp;
    zdota(kp) = alpha * zdota(k);
    zdota(k) = temp;
    for (int i = 1; i <= n; ++i) {
        const double t = alpha * z(i, kp) + beta * z(i, k);
        z(i, kp) = alpha * z(i, k) - beta * z(i, kp);
        z(i, k) = t;
    }
}

} // namespace

void cobyla_trust_region_step(const int& n, const int& m, const double* a_p, const double* b_p, const double& rho,
                              double* dx_p, int& ifull, int* iact_p, double* z_p, double* zdota_p, double* vmultc_p,
                              double* sdirn_p, double* dxnew_p, double* vmultd_p)
{
    const const_matrix_view a{a_p, n};
    const matrix_view z{z_p, n};
    auto b = [b_p](int k) { return b_p[k - 1]; };
    vector_view dx{dx_p}, zdota{zdota_p}, vmultc{vmultc_p}, sdirn{sdirn_p}, dxnew{dxnew_p}, vmultd{vmultd_p};
    auto iact = [iact_p](int k) -> int& { return iact_p[k - 1]; };

    ifull = 1;
    int mcon = m, nact = 0, icon = 0, nactx = 0, icount = 0, iout = 0, kk = 0;
    double resmax = 0, optold = 0, optnew = 0, resold = 0, ratio = 0, step = 0, stpful = 0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j)
            z(i, j) = 0;
        z(i, i) = 1;
        dx(i) = 0;
    }
    if (m >= 1) {
        for (int k = 1; k <= m; ++k) {
            if (b(k) > resmax) {
                resmax = b(k);
                icon = k;
            }
        }
        for (int k = 1; k <= m; ++k) {
            iact(k) = k;
            vmultc(k) = resmax - b(k);
        }
    }
    if (resmax == 0)
        goto stage_two;
    for (int i = 1; i <= n; ++i)
        sdirn(i) = 0;

    // A stage ends after three consecutive iterations that neither reduce
    // the best value of its objective nor add an active constraint since
    // that value: this prevents cycling.
new_stage:
    optold = 0;
    icount = 0;

iteration:
    if (mcon == m) {
        optnew = resmax;
    } else {
        optnew = 0;
        for (int i = 1; i <= n; ++i)
            optnew -= dx(i) * a(i, mcon);
    }
    if (icount == 0 || optnew < optold) {
        optold = optnew;
        nactx = nact;
        icount = 3;
    } else if (nact > nactx) {
        nactx = nact;
        icount = 3;
    } else {
        --icount;
        if (icount == 0)
            goto stage_end;
    }

    if (icon <= nact)
        goto delete_constraint;

    // Add constraint iact(icon) to the active set: Givens rotations make
    // the last n - nact - 1 columns of z orthogonal to its gradient.
    kk = iact(icon);
    for (int i = 1; i <= n; ++i)
        dxnew(i) = a(i, kk);
    {
        double tot = 0;
        for (int k = n; k > nact; --k) {
            double sp = 0, spabs = 0;
            for (int i = 1; i <= n; ++i) {
                const double temp = z(i, k) * dxnew(i);
                sp += temp;
                spabs += std::fabs(temp);
            }
            if (rounding_noise(sp, spabs, 0.1, 0.2))
                sp = 0;
            if (tot == 0) {
                tot = sp;
            } else {
                const int kp = k + 1;
                const double temp = std::sqrt(sp * sp + tot * tot);
                const double alpha = sp / temp;
                const double beta = tot / temp;
                tot = temp;
                for (int i = 1; i <= n; ++i) {
                    const double t = alpha * z(i, k) + beta * z(i, kp);
                    z(i, kp) = alpha * z(i, kp) - beta * z(i, k);
                    z(i, k) = t;
                }
            }
        }
        if (tot != 0) {
            // Room for the new constraint without a deletion.
            ++nact;
            zdota(nact) = tot;
            vmultc(icon) = vmultc(nact);
            vmultc(nact) = 0;
            goto update_active;
        }
    }

    // The new gradient is a combination of the active ones: one of them
    // must leave. vmultd gets the combination's multipliers, iout the
    // constraint to delete.
    ratio = -1;
    for (int k = nact; k > 0; --k) {
        double zdotv = 0, zdvabs = 0;
        for (int i = 1; i <= n; ++i) {
            const double temp = z(i, k) * dxnew(i);
            zdotv += temp;
            zdvabs += std::fabs(temp);
        }
        if (!rounding_noise(zdotv, zdvabs, 0.1, 0.2)) {
            const double temp = zdotv / zdota(k);
            if (temp > 0 && iact(k) <= m) {
                const double tempa = vmultc(k) / temp;
                if (ratio < 0 || tempa < ratio) {
                    ratio = tempa;
                    iout = k;
                }
            }
            if (k >= 2) {
                const int kw = iact(k);
                for (int i = 1; i <= n; ++i)
                    dxnew(i) -= temp * a(i, kw);
            }
            vmultd(k) = temp;
        } else {
            vmultd(k) = 0;
        }
    }
    if (ratio < 0)
        goto stage_end;

    // Revise the multipliers and move the constraint to be replaced to the
    // end of the list.
    for (int k = 1; k <= nact; ++k)
        vmultc(k) = std::max(0.0, vmultc(k) - ratio * vmultd(k));
    if (icon < nact) {
        const int isave = iact(icon);
        const double vsave = vmultc(icon);
        int k = icon;
        do {
            const int kp = k + 1;
            const int kw = iact(kp);
            double sp = 0;
            for (int i = 1; i <= n; ++i)
                sp += z(i, k) * a(i, kw);
            rotate_down(n, z, zdota_p, k, kp, sp);
            iact(k) = kw;
            vmultc(k) = vmultc(kp);
            k = kp;
        } while (k < nact);
        iact(k) = isave;
        vmultc(k) = vsave;
    }
    {
        double temp = 0;
        for (int i = 1; i <= n; ++i)
            temp += z(i, nact) * a(i, kk);
        if (temp == 0)
            goto stage_end;
        zdota(nact) = temp;
        vmultc(icon) = 0;
        vmultc(nact) = ratio;
    }
    (void)iout;

update_active:
    // The objective stays the last active constraint in stage two.
    iact(icon) = iact(nact);
    iact(nact) = kk;
    if (mcon > m && kk != mcon) {
        const int k = nact - 1;
        double sp = 0;
        for (int i = 1; i <= n; ++i)
            sp += z(i, k) * a(i, kk);
        rotate_down(n, z, zdota_p, k, nact, sp);
        iact(nact) = iact(k);
        iact(k) = kk;
        std::swap(vmultc(k), vmultc(nact));
    }
    if (mcon > m)
        goto stage_two_direction;
    {
        // Stage one: the direction of the next change of the variables.
        const int kn = iact(nact);
        double temp = 0;
        for (int i = 1; i <= n; ++i)
            temp += sdirn(i) * a(i, kn);
        temp = (temp - 1) / zdota(nact);
        for (int i = 1; i <= n; ++i)
            sdirn(i) -= temp * z(i, nact);
    }
    goto step_length;

delete_constraint:
    // Delete constraint iact(icon) from the active set.
    if (icon < nact) {
        const int isave = iact(icon);
        const double vsave = vmultc(icon);
        int k = icon;
        do {
            const int kp = k + 1;
            const int kw = iact(kp);
            double sp = 0;
            for (int i = 1; i <= n; ++i)
                sp += z(i, k) * a(i, kw);
            rotate_down(n, z, zdota_p, k, kp, sp);
            iact(k) = kw;
            vmultc(k) = vmultc(kp);
            k = kp;
        } while (k < nact);
        iact(k) = isave;
        vmultc(k) = vsave;
    }
    --nact;
    if (mcon > m)
        goto stage_two_direction;
    {
        double temp = 0;
        for (int i = 1; i <= n; ++i)
            temp += sdirn(i) * z(i, nact + 1);
        for (int i = 1; i <= n; ++i)
            sdirn(i) -= temp * z(i, nact + 1);
    }
    goto step_length;

stage_two_direction : {
    const double temp = 1 / zdota(nact);
    for (int i = 1; i <= n; ++i)
        sdirn(i) = temp * z(i, nact);
}

step_length : {
    // The step to the trust-region boundary, or the one that brings resmax
    // to zero; skipped when it could be zero within rounding.
    double dd = rho * rho, sd = 0, ss = 0;
    for (int i = 1; i <= n; ++i) {
        if (std::fabs(dx(i)) >= single_micro * rho)
            dd -= dx(i) * dx(i);
        sd += dx(i) * sdirn(i);
        ss += sdirn(i) * sdirn(i);
    }
    if (dd <= 0)
        goto stage_end;
    double temp = std::sqrt(ss * dd);
    if (std::fabs(sd) >= single_micro * temp)
        temp = std::sqrt(ss * dd + sd * sd);
    stpful = dd / (temp + sd);
    step = stpful;
    if (mcon == m) {
        if (rounding_noise(resmax, step, 0.1, 0.2))
            goto stage_two;
        step = std::min(step, resmax);
    }
}

    // dxnew: the variables after the step; in stage one resmax becomes the
    // corresponding greatest residual of the active constraints.
    for (int i = 1; i <= n; ++i)
        dxnew(i) = dx(i) + step * sdirn(i);
    if (mcon == m) {
        resold = resmax;
        resmax = 0;
        for (int k = 1; k <= nact; ++k) {
            const int kn = iact(k);
            double temp = b(kn);
            for (int i = 1; i <= n; ++i)
                temp -= a(i, kn) * dxnew(i);
            resmax = std::max(resmax, temp);
        }
    }

    // vmultd: the multipliers if dx became dxnew, with deviations from zero
    // that rounding explains forced to zero.
    for (int k = nact; k >= 1; --k) {
        double zdotw = 0, zdwabs = 0;
        for (int i = 1; i <= n; ++i) {
            const double temp = z(i, k) * dxnew(i);
            zdotw += temp;
            zdwabs += std::fabs(temp);
        }
        if (rounding_noise(zdotw, zdwabs, 0.1, 0.2))
            zdotw = 0;
        vmultd(k) = zdotw / zdota(k);
        if (k >= 2) {
            const int kn = iact(k);
            for (int i = 1; i <= n; ++i)
                dxnew(i) -= vmultd(k) * a(i, kn);
        }
    }
    if (mcon > m)
        vmultd(nact) = std::max(0.0, vmultd(nact));

    // The residuals of the inactive constraints at the new point.
    for (int i = 1; i <= n; ++i)
        dxnew(i) = dx(i) + step * sdirn(i);
    for (int k = nact + 1; k <= mcon; ++k) {
        const int kn = iact(k);
        double sum = resmax - b(kn);
        double sumabs = resmax + std::fabs(b(kn));
        for (int i = 1; i <= n; ++i) {
            const double temp = a(i, kn) * dxnew(i);
            sum += temp;
            sumabs += std::fabs(temp);
        }
        if (rounding_noise(sum, sumabs, single_tenth, single_fifth))
            sum = 0;
        vmultd(k) = sum;
    }

    // The fraction of the step from dx to dxnew that keeps every multiplier
    // non-negative.
    ratio = 1;
    icon = 0;
    for (int k = 1; k <= mcon; ++k) {
        if (vmultd(k) < 0) {
            const double temp = vmultc(k) / (vmultc(k) - vmultd(k));
            if (temp < ratio) {
                ratio = temp;
                icon = k;
            }
        }
    }
    {
        const double temp = 1 - ratio;
        for (int i = 1; i <= n; ++i)
            dx(i) = temp * dx(i) + ratio * dxnew(i);
        for (int k = 1; k <= mcon; ++k)
            vmultc(k) = std::max(0.0, temp * vmultc(k) + ratio * vmultd(k));
        if (mcon == m)
            resmax = resold + ratio * (resmax - resold);
    }
    if (icon > 0)
        goto iteration;
    if (step == stpful)
        return;

stage_two:
    // Stage two: the objective becomes constraint m + 1.
    mcon = m + 1;
    icon = mcon;
    iact(mcon) = mcon;
    vmultc(mcon) = 0;
    goto new_stage;

stage_end:
    // Use any freedom left to reduce the objective before returning a step
    // shorter than rho.
    if (mcon == m)
        goto stage_two;
    ifull = 0;
}

int cobyla_minimise(void* context, cobyla_callback callback, const int& n, const int& m, double* x,
                    const double& rhobeg, const double& rhoend, const int& iprint, int& maxfun, double* w,
                    int* iact)
{
    const int mpp = m + 2;
    const long long nn = n, mm = m;
    double* con = w;
    double* sim = con + mpp;
    double* simi = sim + nn * (nn + 1);
    double* datmat = simi + nn * nn;
    double* a = datmat + (mm + 2) * (nn + 1);
    double* vsig = a + nn * (mm + 1);
    double* veta = vsig + nn;
    double* sigbar = veta + nn;
    double* dx = sigbar + nn;
    double* rest = dx + nn;
    cobyla_iterate(context, callback, n, m, mpp, x, rhobeg, rhoend, iprint, maxfun, con, sim, simi, datmat, a, vsig,
                   veta, sigbar, dx, rest, iact);
    return 0;
}

void cobyla_iterate(void* context, cobyla_callback callback, const int& n, const int& m, const int& mpp, double* x_p,
                    const double& rhobeg, const double& rhoend, const int& iprint, int& maxfun, double* con_p,
                    double* sim_p, double* simi_p, double* datmat_p, double* a_p, double* vsig_p, double* veta_p,
                    double* sigbar_p, double* dx_p, double* w, int* iact)
{
    constexpr double alpha = 0.25, beta = 2.1, gamma = 0.5, delta = 1.1;
    const int np = n + 1, mp = m + 1;
    const matrix_view sim{sim_p, n}, simi{simi_p, n}, datmat{datmat_p, mpp}, a{a_p, n};
    vector_view x{x_p}, con{con_p}, vsig{vsig_p}, veta{veta_p}, sigbar{sigbar_p}, dx{dx_p};

    double rho = rhobeg, parmu = 0;
    int nfvals = 0, jdrop = np, ibrnch = 0, iflag = 0, ifull = 0;
    double f = 0, resmax = 0, parsig = 0, pareta = 0, prerec = 0, prerem = 0;

    {
        const double temp = 1 / rho;
        for (int i = 1; i <= n; ++i) {
            sim(i, np) = x(i);
            for (int j = 1; j <= n; ++j) {
                sim(i, j) = 0;
                simi(i, j) = 0;
            }
            sim(i, i) = rho;
            simi(i, i) = temp;
        }
    }

evaluate:
    if (nfvals >= maxfun && nfvals > 0)
        goto best_vertex;
    ++nfvals;
    callback(context, n, m, x_p, &f, con_p);
    resmax = 0;
    for (int k = 1; k <= m; ++k)
        resmax = std::max(resmax, -con(k));
    // A value that is not finite would poison the linear models (and the
    // subproblem need not end on NaN): stop with the best vertex so far.
    {
        bool finite = std::isfinite(f);
        for (int k = 1; k <= m; ++k)
            finite = finite && std::isfinite(con(k));
        if (!finite)
            goto best_vertex;
    }
    con(mp) = f;
    con(mpp) = resmax;
    if (ibrnch == 1)
        goto trial_evaluated;

    // The values of a new vertex of the initial simplex (or of a geometry
    // step) go into its column of datmat.
    for (int k = 1; k <= mpp; ++k)
        datmat(k, jdrop) = con(k);
    if (nfvals <= np) {
        // Building the initial simplex: a better new vertex takes the pole.
        if (jdrop <= n) {
            if (datmat(mp, np) <= f) {
                x(jdrop) = sim(jdrop, np);
            } else {
                sim(jdrop, np) = x(jdrop);
                for (int k = 1; k <= mpp; ++k) {
                    datmat(k, jdrop) = datmat(k, np);
                    datmat(k, np) = con(k);
                }
                for (int k = 1; k <= jdrop; ++k) {
                    sim(jdrop, k) = -rho;
                    double temp = 0;
                    for (int i = k; i <= jdrop; ++i)
                        temp -= simi(i, k);
                    simi(jdrop, k) = temp;
                }
            }
        }
        if (nfvals <= n) {
            jdrop = nfvals;
            x(jdrop) += rho;
            goto evaluate;
        }
    }
    ibrnch = 1;

examine:
    // The best vertex of the simplex under the merit function F +
    // parmu·resmax goes into pole position.
    {
        double phimin = datmat(mp, np) + parmu * datmat(mpp, np);
        int nbest = np;
        for (int j = 1; j <= n; ++j) {
            const double temp = datmat(mp, j) + parmu * datmat(mpp, j);
            if (temp < phimin) {
                nbest = j;
                phimin = temp;
            } else if (temp == phimin && parmu == 0) {
                if (datmat(mpp, j) < datmat(mpp, nbest))
                    nbest = j;
            }
        }
        if (nbest <= n) {
            for (int i = 1; i <= mpp; ++i)
                std::swap(datmat(i, np), datmat(i, nbest));
            for (int i = 1; i <= n; ++i) {
                const double temp = sim(i, nbest);
                sim(i, nbest) = 0;
                sim(i, np) += temp;
                double tempa = 0;
                for (int k = 1; k <= n; ++k) {
                    sim(i, k) -= temp;
                    tempa -= simi(k, i);
                }
                simi(nbest, i) = tempa;
            }
        }
    }

    // Stop when simi has become a poor inverse of the edge matrix.
    {
        double error = 0;
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                double temp = i == j ? -1.0 : 0.0;
                for (int k = 1; k <= n; ++k)
                    temp += simi(i, k) * sim(k, j);
                error = std::max(error, std::fabs(temp));
            }
        }
        if (error > 0.1)
            goto best_vertex;
    }

    // The gradients of the linear models: the constraints', then minus the
    // objective's, in the columns of a; con becomes the right-hand side.
    for (int k = 1; k <= mp; ++k) {
        con(k) = -datmat(k, np);
        for (int j = 1; j <= n; ++j)
            w[j - 1] = datmat(k, j) + con(k);
        for (int i = 1; i <= n; ++i) {
            double temp = 0;
            for (int j = 1; j <= n; ++j)
                temp += w[j - 1] * simi(j, i);
            a(i, k) = k == mp ? -temp : temp;
        }
    }

    // The shape of the simplex: iflag 0 when it is not acceptable.
    iflag = 1;
    parsig = alpha * rho;
    pareta = beta * rho;
    for (int j = 1; j <= n; ++j) {
        double wsig = 0, weta = 0;
        for (int i = 1; i <= n; ++i) {
            wsig += simi(j, i) * simi(j, i);
            weta += sim(i, j) * sim(i, j);
        }
        vsig(j) = 1 / std::sqrt(wsig);
        veta(j) = std::sqrt(weta);
        if (vsig(j) < parsig || veta(j) > pareta)
            iflag = 0;
    }

    if (ibrnch != 1 && iflag != 1) {
        // A geometry step: the vertex to drop, then the new one at distance
        // gamma·rho on the better side.
        jdrop = 0;
        double temp = pareta;
        for (int j = 1; j <= n; ++j) {
            if (veta(j) > temp) {
                jdrop = j;
                temp = veta(j);
            }
        }
        if (jdrop == 0) {
            for (int j = 1; j <= n; ++j) {
                if (vsig(j) < temp) {
                    jdrop = j;
                    temp = vsig(j);
                }
            }
        }
        temp = gamma * rho * vsig(jdrop);
        for (int i = 1; i <= n; ++i)
            dx(i) = temp * simi(jdrop, i);
        double cvmaxp = 0, cvmaxm = 0, sum = 0;
        for (int k = 1; k <= mp; ++k) {
            sum = 0;
            for (int i = 1; i <= n; ++i)
                sum += a(i, k) * dx(i);
            if (k < mp) {
                temp = datmat(k, np);
                cvmaxp = std::max(cvmaxp, -sum - temp);
                cvmaxm = std::max(cvmaxm, sum - temp);
            }
        }
        const double dxsign = parmu * (cvmaxp - cvmaxm) > sum + sum ? -1.0 : 1.0;
        temp = 0;
        for (int i = 1; i <= n; ++i) {
            dx(i) *= dxsign;
            sim(i, jdrop) = dx(i);
            temp += simi(jdrop, i) * dx(i);
        }
        for (int i = 1; i <= n; ++i)
            simi(jdrop, i) /= temp;
        for (int j = 1; j <= n; ++j) {
            if (j != jdrop) {
                double t = 0;
                for (int i = 1; i <= n; ++i)
                    t += simi(j, i) * dx(i);
                for (int i = 1; i <= n; ++i)
                    simi(j, i) -= t * simi(jdrop, i);
            }
            x(j) = sim(j, np) + dx(j);
        }
        goto evaluate;
    }

    // The trust-region step from the best vertex.
    {
        double* z = w;
        double* zdota = z + static_cast<long long>(n) * n;
        double* vmc = zdota + n;
        double* sdirn = vmc + mp;
        double* dxnew = sdirn + n;
        double* vmd = dxnew + n;
        cobyla_trust_region_step(n, m, a_p, con_p, rho, dx_p, ifull, iact, z, zdota, vmc, sdirn, dxnew, vmd);
    }
    if (ifull == 0) {
        double temp = 0;
        for (int i = 1; i <= n; ++i)
            temp += dx(i) * dx(i);
        if (temp < 0.25 * rho * rho) {
            ibrnch = 1;
            goto no_progress;
        }
    }

    // The predicted change of F and of the greatest violation; parmu grows
    // when the step would not reduce the merit function, and the best
    // vertex is examined again when that changes it.
    {
        double resnew = 0, sum = 0;
        con(mp) = 0;
        for (int k = 1; k <= mp; ++k) {
            sum = con(k);
            for (int i = 1; i <= n; ++i)
                sum -= a(i, k) * dx(i);
            if (k < mp)
                resnew = std::max(resnew, sum);
        }
        double barmu = 0;
        prerec = datmat(mpp, np) - resnew;
        if (prerec > 0)
            barmu = sum / prerec;
        if (parmu < 1.5 * barmu) {
            parmu = 2 * barmu;
            const double phi = datmat(mp, np) + parmu * datmat(mpp, np);
            for (int j = 1; j <= n; ++j) {
                const double temp = datmat(mp, j) + parmu * datmat(mpp, j);
                if (temp < phi)
                    goto examine;
                if (temp == phi && parmu == 0 && datmat(mpp, j) < datmat(mpp, np))
                    goto examine;
            }
        }
        prerem = parmu * prerec - sum;
    }
    for (int i = 1; i <= n; ++i)
        x(i) = sim(i, np) + dx(i);
    ibrnch = 1;
    goto evaluate;

trial_evaluated : {
    // The actual reduction of the merit function decides whether the trial
    // point replaces a vertex (it must when the reduction is positive).
    const double vmold = datmat(mp, np) + parmu * datmat(mpp, np);
    const double vmnew = f + parmu * resmax;
    double trured = vmold - vmnew;
    if (parmu == 0 && f == datmat(mp, np)) {
        prerem = prerec;
        trured = datmat(mpp, np) - resmax;
    }
    double ratio = trured <= 0 ? 1.0 : 0.0;
    jdrop = 0;
    for (int j = 1; j <= n; ++j) {
        double temp = 0;
        for (int i = 1; i <= n; ++i)
            temp += simi(j, i) * dx(i);
        temp = std::fabs(temp);
        if (temp > ratio) {
            jdrop = j;
            ratio = temp;
        }
        sigbar(j) = temp * vsig(j);
    }
    double edgmax = delta * rho;
    int l = 0;
    for (int j = 1; j <= n; ++j) {
        if (sigbar(j) >= parsig || sigbar(j) >= vsig(j)) {
            double temp = veta(j);
            if (trured > 0) {
                temp = 0;
                for (int i = 1; i <= n; ++i)
                    temp += (dx(i) - sim(i, j)) * (dx(i) - sim(i, j));
                temp = std::sqrt(temp);
            }
            if (temp > edgmax) {
                l = j;
                edgmax = temp;
            }
        }
    }
    if (l > 0)
        jdrop = l;
    if (jdrop == 0)
        goto no_progress;

    double temp = 0;
    for (int i = 1; i <= n; ++i) {
        sim(i, jdrop) = dx(i);
        temp += simi(jdrop, i) * dx(i);
    }
    for (int i = 1; i <= n; ++i)
        simi(jdrop, i) /= temp;
    for (int j = 1; j <= n; ++j) {
        if (j != jdrop) {
            double t = 0;
            for (int i = 1; i <= n; ++i)
                t += simi(j, i) * dx(i);
            for (int i = 1; i <= n; ++i)
                simi(j, i) -= t * simi(jdrop, i);
        }
    }
    for (int k = 1; k <= mpp; ++k)
        datmat(k, jdrop) = con(k);
    if (trured > 0 && trured >= 0.1 * prerem)
        goto examine;
}

no_progress:
    if (iflag == 0) {
        ibrnch = 0;
        goto examine;
    }
    if (rho > rhoend) {
        // Reduce rho and, with it, the penalty parameter.
        rho *= 0.5;
        if (rho <= 1.5 * rhoend)
            rho = rhoend;
        if (parmu > 0) {
            double denom = 0, cmin = 0, cmax = 0;
            for (int k = 1; k <= mp; ++k) {
                cmin = datmat(k, np);
                cmax = cmin;
                for (int i = 1; i <= n; ++i) {
                    cmin = std::min(cmin, datmat(k, i));
                    cmax = std::max(cmax, datmat(k, i));
                }
                if (k <= m && cmin < 0.5 * cmax) {
                    const double temp = std::max(cmax, 0.0) - cmin;
                    denom = denom <= 0 ? temp : std::min(denom, temp);
                }
            }
            if (denom == 0)
                parmu = 0;
            else if (cmax - cmin < parmu * denom)
                parmu = (cmax - cmin) / denom;
        }
        goto examine;
    }
    if (ifull == 1)
        goto finish;

best_vertex:
    for (int i = 1; i <= n; ++i)
        x(i) = sim(i, np);

finish:
    maxfun = nfvals;
    (void)iprint;
}
