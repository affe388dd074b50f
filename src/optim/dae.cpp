// The BDF integrator of the DASSL kind: the driver (checks, first step,
// the stepping loop and its returns), the error weights and norm, the
// initial y' computation, interpolation, one step with its order and step
// selection, and the iteration matrix by differences.
#include "optim/dae.hpp"

#include "linalg/kernels.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Positions in rwork and iwork (1-based, as in the published layout).
enum : int {
    LTSTOP = 1, LHMAX = 2, LH = 3, LTN = 4, LCJ = 5, LCJOLD = 6, LHOLD = 7, LS = 8, LROUND = 9,
    LALPHA = 11, LBETA = 17, LGAMMA = 23, LPSI = 29, LSIGMA = 35, LDELTA = 41,
};
enum : int {
    LML = 1, LMU = 2, LMXORD = 3, LMTYPE = 4, LJCALC = 5, LPHASE = 6, LK = 7, LKOLD = 8, LNS = 9, LNSTL = 10,
    LNST = 11, LNRE = 12, LNJE = 13, LETF = 14, LCTF = 15, LNPD = 16, LJSTART = 17, LIPVT = 21,
};

double sign_of(double a, double b) { return b >= 0 ? std::fabs(a) : -std::fabs(a); }

// The sign of a * b without forming the product: times near 1e-200 and
// steps near 1e-200 give a product that underflows to 0, and a step short
// of tout then read as one that had passed it.
int sign_product(double a, double b) { return ((a > 0) - (a < 0)) * ((b > 0) - (b < 0)); }

// Everything one step needs, viewed in place in the caller's arrays.
struct dae_problem {
    void* context;
    dae_residual res;
    dae_jacobian_fn jac;
    double* rpar;
    int* ipar;
    int neq;
    double* rw;  // rwork, 1-based through r()
    int* iw;     // iwork, 1-based through i()
    double* delta;
    double* e;
    double* wt;
    double* phi;  // neq x (maxord + 1)
    double* wm;   // neq x neq
    double& r(int k) const { return rw[k - 1]; }
    int& i(int k) const { return iw[k - 1]; }
    double* phi_col(int j) const { return phi + static_cast<long long>(j - 1) * neq; }
    void residual(double x, const double* y, const double* yp, double* out, int& ires) const
    {
        ++i(LNRE);
        res(context, x, y, yp, out, ires, rpar, ipar);
    }
};

// The iteration matrix dG/dy + cj dG/dy' (by differences or through jac)
// and its LU factors; ier non-zero for a singular matrix.
void dae_jacobian(const dae_problem& p, double x, double* y, double* yp, double cj, double h, int& ier, int& ires)
{
    const int neq = p.neq;
    ier = 0;
    ires = 0;
    const double uround = p.r(LROUND);
    if (p.i(LMTYPE) == 1) {
        std::fill(p.wm, p.wm + static_cast<long long>(neq) * neq, 0.0);
        p.jac(x, y, yp, p.wm, cj, p.rpar, p.ipar);
    } else {
        const double squr = std::sqrt(uround);
        for (int col = 0; col < neq; ++col) {
            double del = squr * std::max(std::fabs(y[col]), std::fabs(h * yp[col]));
            if (del == 0)
                del = squr * std::max(p.wt[col], 1.0);  // a zero component still needs a finite increment
            del = sign_product(h, yp[col]) >= 0 ? del : -del;
            // Near the top of the range y + del or y' + cj del can
            // overflow (a solution of 1.8e308 decaying: y' went to -Inf,
            // the column came out infinite, the corrector stood still and
            // the step passed with a wrong solution). The other direction
            // or a smaller increment keeps both finite.
            const auto fits = [&](double d) {
                return std::isfinite(y[col] + d) && std::isfinite(yp[col] + cj * d);
            };
            for (int halvings = 0; halvings < 64 && !fits(del); ++halvings) {
                if (fits(-del)) {
                    del = -del;
                    break;
                }
                del *= 0.5;
            }
            del = (y[col] + del) - y[col];
            const double ysave = y[col], ypsave = yp[col];
            y[col] += del;
            yp[col] += cj * del;
            p.residual(x, y, yp, p.e, ires);
            y[col] = ysave;
            yp[col] = ypsave;
            if (ires < 0)
                return;
            const double delinv = 1 / del;
            // A subnormal increment has no finite reciprocal: divide.
            const bool divide = !std::isfinite(delinv);
            double* column = p.wm + static_cast<long long>(col) * neq;
            bool finite = true;
            for (int l = 0; l < neq; ++l) {
                column[l] = divide ? (p.e[l] - p.delta[l]) / del : (p.e[l] - p.delta[l]) * delinv;
                finite = finite && std::isfinite(column[l]);
            }
            if (!finite) {
                // An iteration matrix that is not a number solves nothing:
                // a smaller step is tried, as for a singular one.
                ier = -1;
                return;
            }
        }
    }
    int lda = neq, n = neq;
    lu_factor_real(p.wm, &lda, &n, p.iw + LIPVT - 1, &ier);
}

void dae_solve_linear(const dae_problem& p, double* b)
{
    int lda = p.neq, n = p.neq, job = 0;
    lu_solve_real(p.wm, &lda, &n, p.iw + LIPVT - 1, b, &job);
}

// y' consistent with y at the start, by backward Euler steps on the
// corrector (idid -12 when that fails).
void dae_init(const dae_problem& p, double& x, double* y, double* yp, double& h, int& idid, double hmin, int nonneg)
{
    constexpr int maxit = 10, mjac = 5;
    constexpr double damp = 0.75;
    const int neq = p.neq;
    const double uround = p.r(LROUND);
    idid = 1;
    int nef = 0, ncf = 0, nsf = 0, ier = 0, ires = 0;
    const double xold = x;
    const double ynorm = dae_norm(neq, y, p.wt);
    double* phi1 = p.phi_col(1);
    double* phi2 = p.phi_col(2);
    for (int k = 0; k < neq; ++k) {
        phi1[k] = y[k];
        phi2[k] = yp[k];
    }
    for (;;) {
        const double cj = 1 / h;
        x += h;
        for (int k = 0; k < neq; ++k)
            y[k] += h * yp[k];
        int jcalc = -1, m = 0;
        bool convgd = true;
        double s = 1e6, oldnrm = 0, err = 0;
        for (;;) {
            ires = 0;
            p.residual(x, y, yp, p.delta, ires);
            if (ires < 0) {
                convgd = false;
                break;
            }
            if (jcalc == -1) {
                ++p.i(LNJE);
                jcalc = 0;
                dae_jacobian(p, x, y, yp, cj, h, ier, ires);
                s = 1e6;
                if (ires < 0 || ier != 0) {
                    convgd = false;
                    break;
                }
                nsf = 0;
            }
            for (int k = 0; k < neq; ++k)
                p.delta[k] *= damp;
            dae_solve_linear(p, p.delta);
            for (int k = 0; k < neq; ++k) {
                y[k] -= p.delta[k];
                yp[k] -= cj * p.delta[k];
            }
            const double delnrm = dae_norm(neq, p.delta, p.wt);
            if (delnrm <= 100 * uround * ynorm)
                break;
            if (m > 0) {
                const double rate = std::pow(delnrm / oldnrm, 1.0 / m);
                if (rate > 0.9) {
                    convgd = false;
                    break;
                }
                s = rate / (1 - rate);
            } else {
                oldnrm = delnrm;
            }
            if (s * delnrm <= 0.33)
                break;
            ++m;
            if (m >= maxit) {
                convgd = false;
                break;
            }
            if ((m / mjac) * mjac == m)
                jcalc = -1;
        }
        if (convgd && nonneg) {
            for (int k = 0; k < neq; ++k)
                p.delta[k] = std::min(y[k], 0.0);
            if (dae_norm(neq, p.delta, p.wt) > 0.33) {
                convgd = false;
            } else {
                for (int k = 0; k < neq; ++k) {
                    y[k] -= p.delta[k];
                    yp[k] -= cj * p.delta[k];
                }
            }
        }
        if (convgd) {
            for (int k = 0; k < neq; ++k)
                p.e[k] = y[k] - phi1[k];
            err = dae_norm(neq, p.e, p.wt);
            if (err <= 1)
                return;
        }
        x = xold;
        for (int k = 0; k < neq; ++k) {
            y[k] = phi1[k];
            yp[k] = phi2[k];
        }
        if (!convgd) {
            if (ier != 0) {
                ++nsf;
                h *= 0.25;
                if (nsf < 3 && std::fabs(h) >= hmin)
                    continue;
                idid = -12;
                return;
            }
            if (ires <= -2) {
                idid = -12;
                return;
            }
            ++ncf;
            h *= 0.25;
            if (ncf < 10 && std::fabs(h) >= hmin)
                continue;
            idid = -12;
            return;
        }
        ++nef;
        double r = 0.9 / (2 * err + 0.0001);
        r = std::max(0.1, std::min(0.5, r));
        h *= r;
        if (std::fabs(h) >= hmin && nef < 10)
            continue;
        idid = -12;
        return;
    }
}

// One step from x with h: predictor, Newton corrector, error test, and the
// order and step for the next step; on failure the step is retried with a
// smaller h or the status reports why it cannot be.
void dae_step(const dae_problem& p, double& x, double* y, double* yp, double& h, int& idid, double hmin, int nonneg)
{
    constexpr double xrate = 0.25;
    constexpr int maxit = 4;
    const int neq = p.neq;
    double* alpha = &p.r(LALPHA) - 1;  // 1-based
    double* beta = &p.r(LBETA) - 1;
    double* gamma = &p.r(LGAMMA) - 1;
    double* psi = &p.r(LPSI) - 1;
    double* sigma = &p.r(LSIGMA) - 1;
    double& cj = p.r(LCJ);
    double& cjold = p.r(LCJOLD);
    double& hold = p.r(LHOLD);
    double& s = p.r(LS);
    const double uround = p.r(LROUND);
    int& k = p.i(LK);
    int& kold = p.i(LKOLD);
    int& ns = p.i(LNS);
    int& jcalc = p.i(LJCALC);
    int& iphase = p.i(LPHASE);
    const int maxord = p.i(LMXORD);

    idid = 1;
    double xold = x;
    int ncf = 0, nsf = 0, nef = 0;
    if (p.i(LJSTART) == 0) {
        p.i(LETF) = 0;
        p.i(LCTF) = 0;
        k = 1;
        kold = 0;
        hold = 0;
        p.i(LJSTART) = 1;
        psi[1] = h;
        cjold = 1 / h;
        cj = cjold;
        s = 100;
        jcalc = -1;
        iphase = 0;
        ns = 0;
    }

    for (;;) {
        // Block 1: the coefficients of the current order and step.
        const int kp1 = k + 1, kp2 = k + 2, km1 = k - 1;
        xold = x;
        if (h != hold || k != kold)
            ns = 0;
        ns = std::min(ns + 1, kold + 2);
        const int nsp1 = ns + 1;
        if (kp1 >= ns) {
            beta[1] = 1;
            alpha[1] = 1;
            double temp1 = h;
            gamma[1] = 0;
            sigma[1] = 1;
            for (int i = 2; i <= kp1; ++i) {
                const double temp2 = psi[i - 1];
                psi[i - 1] = temp1;
                beta[i] = beta[i - 1] * psi[i - 1] / temp2;
                temp1 = temp2 + h;
                alpha[i] = h / temp1;
                sigma[i] = (i - 1) * sigma[i - 1] * alpha[i];
                gamma[i] = gamma[i - 1] + alpha[i - 1] / h;
            }
            psi[kp1] = temp1;
        }
        double alphas = 0, alpha0 = 0;
        for (int i = 1; i <= k; ++i) {
            alphas -= 1.0 / i;
            alpha0 -= alpha[i];
        }
        const double cjlast = cj;
        cj = -alphas / h;
        double ck = std::fabs(alpha[kp1] + alphas - alpha0);
        ck = std::max(ck, alpha[kp1]);
        {
            const double temp1 = (1 - xrate) / (1 + xrate);
            const double temp2 = 1 / temp1;
            if (cj / cjold < temp1 || cj / cjold > temp2)
                jcalc = -1;
            if (cj != cjlast)
                s = 100;
        }
        if (kp1 >= nsp1) {
            for (int j = nsp1; j <= kp1; ++j) {
                double* col = p.phi_col(j);
                for (int i = 0; i < neq; ++i)
                    col[i] *= beta[j];
            }
        }
        x += h;

        // Block 2: predict.
        for (int i = 0; i < neq; ++i) {
            y[i] = p.phi_col(1)[i];
            yp[i] = 0;
        }
        for (int j = 2; j <= kp1; ++j) {
            const double* col = p.phi_col(j);
            for (int i = 0; i < neq; ++i) {
                y[i] += col[i];
                yp[i] += gamma[j] * col[i];
            }
        }
        const double pnorm = dae_norm(neq, y, p.wt);

        // Block 3: the corrector by modified Newton iteration.
        bool convgd = true;
        int m = 0, ires = 0, ier = 0;
        double oldnrm = 0;
        p.residual(x, y, yp, p.delta, ires);
        if (ires < 0) {
            convgd = false;
        } else {
            if (jcalc == -1) {
                ++p.i(LNJE);
                jcalc = 0;
                dae_jacobian(p, x, y, yp, cj, h, ier, ires);
                cjold = cj;
                s = 100;
                if (ires < 0 || ier != 0)
                    convgd = false;
                else
                    nsf = 0;
            }
            if (convgd) {
                std::fill(p.e, p.e + neq, 0.0);
                for (;;) {
                    const double temp1 = 2 / (1 + cj / cjold);
                    for (int i = 0; i < neq; ++i)
                        p.delta[i] *= temp1;
                    dae_solve_linear(p, p.delta);
                    for (int i = 0; i < neq; ++i) {
                        y[i] -= p.delta[i];
                        p.e[i] -= p.delta[i];
                        yp[i] -= cj * p.delta[i];
                    }
                    const double delnrm = dae_norm(neq, p.delta, p.wt);
                    if (delnrm <= 100 * uround * pnorm)
                        break;
                    if (m > 0) {
                        const double rate = std::pow(delnrm / oldnrm, 1.0 / m);
                        if (rate > 0.9) {
                            convgd = false;
                            break;
                        }
                        s = rate / (1 - rate);
                    } else {
                        oldnrm = delnrm;
                    }
                    if (s * delnrm <= 0.33)
                        break;
                    ++m;
                    if (m >= maxit) {
                        convgd = false;
                        break;
                    }
                    ires = 0;
                    p.residual(x, y, yp, p.delta, ires);
                    if (ires < 0) {
                        convgd = false;
                        break;
                    }
                }
                if (convgd && nonneg) {
                    for (int i = 0; i < neq; ++i)
                        p.delta[i] = std::min(y[i], 0.0);
                    if (dae_norm(neq, p.delta, p.wt) > 0.33)
                        convgd = false;
                    else
                        for (int i = 0; i < neq; ++i)
                            p.e[i] -= p.delta[i];
                }
            }
        }
        jcalc = 1;

        // Block 4: the error estimates at orders k, k-1, k-2 and the test.
        int knew = k;
        double est = 0, err = 0, terk = 0, terkm1 = 0, erkm1 = 0;
        if (convgd) {
            const double enorm = dae_norm(neq, p.e, p.wt);
            const double erk = sigma[k + 1] * enorm;
            terk = (k + 1) * erk;
            est = erk;
            if (k > 1) {
                for (int i = 0; i < neq; ++i)
                    p.delta[i] = p.phi_col(kp1)[i] + p.e[i];
                erkm1 = sigma[k] * dae_norm(neq, p.delta, p.wt);
                terkm1 = k * erkm1;
                bool lower = false;
                if (k > 2) {
                    for (int i = 0; i < neq; ++i)
                        p.delta[i] = p.phi_col(k)[i] + p.delta[i];
                    const double erkm2 = sigma[k - 1] * dae_norm(neq, p.delta, p.wt);
                    const double terkm2 = (k - 1) * erkm2;
                    lower = std::max(terkm1, terkm2) <= terk;
                } else {
                    lower = terkm1 <= 0.5 * terk;
                }
                if (lower) {
                    knew = k - 1;
                    est = erkm1;
                }
            }
            err = ck * enorm;
        }

        if (convgd && err <= 1) {
            // Block 5: success; the order and step for the next step.
            idid = 1;
            ++p.i(LNST);
            const int kdiff = k - kold;
            kold = k;
            hold = h;
            if (knew == km1 || k == maxord)
                iphase = 1;
            bool set_step = true;
            if (iphase == 0) {
                k = kp1;
                h *= 2;
                set_step = false;
            } else if (knew == km1) {
                k = km1;
                est = erkm1;
            } else if (k != maxord && !(kp1 >= ns || kdiff == 1)) {
                for (int i = 0; i < neq; ++i)
                    p.delta[i] = p.e[i] - p.phi_col(kp2)[i];
                const double erkp1 = (1.0 / (k + 2)) * dae_norm(neq, p.delta, p.wt);
                const double terkp1 = (k + 2) * erkp1;
                if (k > 1) {
                    if (terkm1 <= std::min(terk, terkp1)) {
                        k = km1;
                        est = erkm1;
                    } else if (!(terkp1 >= terk || k == maxord)) {
                        k = kp1;
                        est = erkp1;
                    }
                } else if (!(terkp1 >= 0.5 * terk)) {
                    k = kp1;
                    est = erkp1;
                }
            }
            if (set_step) {
                double hnew = h;
                const double r = std::pow(2 * est + 0.0001, -1.0 / (k + 1));
                if (r >= 2) {
                    hnew = 2 * h;
                } else if (r <= 1) {
                    hnew = h * std::max(0.5, std::min(0.9, r));
                }
                h = hnew;
            }
            if (kold != maxord) {
                double* col = p.phi_col(kp2);
                for (int i = 0; i < neq; ++i)
                    col[i] = p.e[i];
            }
            double* colk = p.phi_col(kp1);
            for (int i = 0; i < neq; ++i)
                colk[i] += p.e[i];
            for (int j1 = 2; j1 <= kp1; ++j1) {
                const int j = kp1 - j1 + 1;
                double* cj_col = p.phi_col(j);
                const double* next = p.phi_col(j + 1);
                for (int i = 0; i < neq; ++i)
                    cj_col[i] += next[i];
            }
            return;
        }

        // Block 6: failure; restore x, phi and psi and choose what next.
        iphase = 1;
        x = xold;
        if (kp1 >= nsp1) {
            for (int j = nsp1; j <= kp1; ++j) {
                const double temp1 = 1 / beta[j];
                double* col = p.phi_col(j);
                for (int i = 0; i < neq; ++i)
                    col[i] *= temp1;
            }
        }
        for (int i = 2; i <= kp1; ++i)
            psi[i - 1] = psi[i] - h;
        const double h_tried = h;
        bool retry = false;
        if (!convgd) {
            ++p.i(LCTF);
            if (ier != 0) {
                ++nsf;
                h *= 0.25;
                retry = nsf < 3 && std::fabs(h) >= hmin;
                if (!retry)
                    idid = -8;
            } else if (ires <= -2) {
                idid = -11;
            } else {
                ++ncf;
                h *= 0.25;
                retry = ncf < 10 && std::fabs(h) >= hmin;
                if (!retry) {
                    idid = -7;
                    if (ires < 0)
                        idid = -10;
                    if (nef >= 3)
                        idid = -9;
                }
            }
        } else {
            ++nef;
            ++p.i(LETF);
            if (nef == 1) {
                k = knew;
                double r = 0.9 * std::pow(2 * est + 0.0001, -1.0 / (k + 1));
                r = std::max(0.25, std::min(0.9, r));
                h *= r;
            } else if (nef == 2) {
                k = knew;
                h *= 0.25;
            } else {
                k = 1;
                h *= 0.25;
            }
            retry = std::fabs(h) >= hmin;
            if (!retry)
                idid = -6;
        }
        if (retry) {
            // The first step has no past: its history is the fiction of an
            // earlier step of the same size, psi(1) = h and phi(2) = h y'.
            // Kept at the size first tried, that history makes the error
            // constant of the smaller retry (h / (h0 + h)) tiny, and the
            // error test passes a first step far outside the tolerance.
            if (kold == 0) {
                const double ratio = h / h_tried;
                psi[1] = h;
                double* col = p.phi_col(2);
                for (int i = 0; i < neq; ++i)
                    col[i] *= ratio;
            }
            continue;
        }
        dae_interp(x, x, y, yp, neq, k, p.phi, psi + 1);
        return;
    }
}

} // namespace

void dae_weights(int neq, int iwt, const double* rtol, const double* atol, const double* y, double* wt)
{
    double rtoli = rtol[0], atoli = atol[0];
    for (int i = 0; i < neq; ++i) {
        if (iwt != 0) {
            rtoli = rtol[i];
            atoli = atol[i];
        }
        wt[i] = rtoli * std::fabs(y[i]) + atoli;
    }
}

double dae_norm(int neq, const double* v, const double* wt)
{
    // One division per element while the squares stay in range, which is
    // nearly always; the scaled form below otherwise.
    double squares = 0;
    for (int i = 0; i < neq; ++i) {
        const double q = v[i] / wt[i];
        squares += q * q;
    }
    if (squares > 0x1p-900 && squares < 0x1p900)
        return std::sqrt(squares / neq);
    double vmax = 0;
    for (int i = 0; i < neq; ++i)
        vmax = std::max(vmax, std::fabs(v[i] / wt[i]));
    if (vmax <= 0)
        return 0;
    double sum = 0;
    for (int i = 0; i < neq; ++i) {
        const double q = (v[i] / wt[i]) / vmax;
        sum += q * q;
    }
    return vmax * std::sqrt(sum / neq);
}

void dae_interp(double x, double xout, double* yout, double* ypout, int neq, int kold, const double* phi,
                const double* psi)
{
    const int koldp1 = kold + 1;
    const double temp1 = xout - x;
    for (int i = 0; i < neq; ++i) {
        yout[i] = phi[i];
        ypout[i] = 0;
    }
    double c = 1, d = 0, gamma = temp1 / psi[0];
    for (int j = 2; j <= koldp1; ++j) {
        d = d * gamma + c / psi[j - 2];
        c *= gamma;
        gamma = (temp1 + psi[j - 2]) / psi[j - 1];
        const double* col = phi + static_cast<long long>(j - 1) * neq;
        for (int i = 0; i < neq; ++i) {
            yout[i] += c * col[i];
            ypout[i] += d * col[i];
        }
    }
}

void dae_solve(void* context, dae_residual res, int neq, double& t, double* y, double* yp, double tout, int* info,
               double* rtol, double* atol, int& idid, double* rwork, int lrw, int* iwork, int liw, double* rpar,
               int* ipar, dae_jacobian_fn jac)
{
    auto illegal = [&] {
        idid = -33;
        info[0] = -1;
    };
    if (info[0] == -1)
        return;  // the previous call failed and nobody said to go on
    if (info[0] != 0 && info[0] != 1) {
        illegal();
        return;
    }
    auto r = [rwork](int k) -> double& { return rwork[k - 1]; };
    auto iw = [iwork](int k) -> int& { return iwork[k - 1]; };
    const bool first = info[0] == 0;

    if (first) {
        for (int k = 1; k <= 10; ++k)
            if (info[k] != 0 && info[k] != 1) {
                illegal();
                return;
            }
        if (neq < 1 || info[5] == 1) {  // banded matrices are refused
            illegal();
            return;
        }
        int maxord = 5;
        if (info[8] == 1) {
            maxord = iw(LMXORD);
            if (maxord < 1 || maxord > 5) {
                illegal();
                return;
            }
        }
        iw(LMXORD) = maxord;
        iw(LMTYPE) = info[4] == 1 ? 1 : 2;
        if (lrw < dae_rwork_length(neq, maxord) || liw < dae_iwork_length(neq) || tout == t) {
            illegal();
            return;
        }
        if (info[6] == 1 && !(r(LHMAX) > 0)) {
            illegal();
            return;
        }
        const int ntol = info[1] == 1 ? neq : 1;
        bool all_zero = true;
        for (int k = 0; k < ntol; ++k) {
            if (rtol[k] < 0 || atol[k] < 0) {
                illegal();
                return;
            }
            if (rtol[k] != 0 || atol[k] != 0)
                all_zero = false;
        }
        if (all_zero) {
            illegal();
            return;
        }
        for (int k = LNST; k <= LNPD; ++k)
            iw(k) = 0;
        iw(LJSTART) = 0;
        r(LROUND) = std::ldexp(1.0, -52);
    }

    const double uround = r(LROUND);
    const int maxord = iw(LMXORD);
    dae_problem p{context, res, jac, rpar, ipar, neq, rwork, iwork, nullptr, nullptr, nullptr, nullptr, nullptr};
    p.delta = rwork + LDELTA - 1;
    p.e = p.delta + neq;
    p.wt = p.e + neq;
    p.phi = p.wt + neq;
    p.wm = p.phi + static_cast<long long>(maxord + 1) * neq;
    const int nonneg = info[9];
    double* psi = &r(LPSI);
    double tn = 0, h = 0;

    auto stop = [&](int status) {  // a failure: t = tn, info(1) = -1
        idid = status;
        info[0] = -1;
        r(LTN) = tn;
        r(LH) = h;
        t = tn;
    };

    if (first) {
        tn = t;
        // Start values, times or weights that are not numbers would fail
        // every comparison below and surface as a singular matrix.
        if (!std::isfinite(t) || !std::isfinite(tout) || !std::isfinite(tout - t)) {
            illegal();
            return;
        }
        for (int k = 0; k < neq; ++k)
            if (!std::isfinite(y[k]) || !std::isfinite(yp[k])) {
                illegal();
                return;
            }
        dae_weights(neq, info[1], rtol, atol, y, p.wt);
        for (int k = 0; k < neq; ++k)
            if (!(p.wt[k] > 0)) {
                illegal();
                return;
            }
        const double hmin = dae_min_step(t, tout);
        if (std::fabs(tout - t) < hmin) {
            illegal();
            return;
        }
        if (info[3] == 1 && (sign_product(r(LTSTOP) - t, tout - t) < 0 || sign_product(tout - r(LTSTOP), tout - t) > 0)) {
            illegal();
            return;
        }
        double h0 = 0;
        if (info[7] == 0) {
            h0 = 0.001 * std::fabs(tout - t);
            const double ypnorm = dae_norm(neq, yp, p.wt);
            if (ypnorm > 0.5 / h0)
                h0 = 0.5 / ypnorm;
            h0 = sign_of(h0, tout - t);
        } else {
            h0 = r(LH);
            if (sign_product(tout - t, h0) <= 0) {
                illegal();
                return;
            }
        }
        if (info[6] == 1 && std::fabs(h0) > r(LHMAX))
            h0 = sign_of(r(LHMAX), h0);
        // A thousandth of a span of 1e-307 is subnormal, its reciprocal
        // infinite, and the iteration matrix singular. (Only there: a first
        // step below hmin is what a stiff start needs.)
        if (std::fabs(h0) < 0x1p-1022)
            h0 = sign_of(0x1p-1022, tout - t);
        if (info[3] == 1 && sign_product(tn + h0 - r(LTSTOP), h0) > 0)
            h0 = r(LTSTOP) - tn;
        info[0] = 1;
        if (info[10] == 1) {
            int status = 1;
            dae_init(p, tn, y, yp, h0, status, hmin, nonneg);
            if (status < 0) {
                h = h0;
                stop(status);
                return;
            }
        }
        h = h0;
        for (int k = 0; k < neq; ++k) {
            p.phi_col(1)[k] = y[k];
            p.phi_col(2)[k] = h * yp[k];
        }
    } else {
        tn = r(LTN);
        h = r(LH);
        if (sign_product(t - tout, h) > 0) {
            illegal();
            return;
        }
        if (info[3] == 1 && (sign_product(r(LTSTOP) - tn, h) < 0 || sign_product(tout - r(LTSTOP), h) > 0)) {
            illegal();
            return;
        }
        if (sign_product(tn - tout, h) >= 0) {  // already passed by the last step
            dae_interp(tn, tout, y, yp, neq, iw(LKOLD), p.phi, psi);
            t = tout;
            idid = 3;
            return;
        }
    }

    iw(LNSTL) = iw(LNST);
    for (;;) {
        if (iw(LNST) - iw(LNSTL) >= 500) {
            stop(-1);
            return;
        }
        dae_weights(neq, info[1], rtol, atol, p.phi_col(1), p.wt);
        for (int k = 0; k < neq; ++k)
            if (p.wt[k] <= 0) {
                stop(-3);
                return;
            }
        double rr = dae_norm(neq, p.phi_col(1), p.wt) * 100 * uround;
        if (rr > 1) {
            // Scaled a hair beyond the limit, so that rounding in the next
            // norm cannot refuse the returned tolerances once more.
            rr *= 1 + 1e-10;
            const int ntol = info[1] == 1 ? neq : 1;
            for (int k = 0; k < ntol; ++k) {
                rtol[k] *= rr;
                atol[k] *= rr;
            }
            stop(-2);
            return;
        }
        const double hmin = dae_min_step(tn, tout);
        if (info[6] == 1 && std::fabs(h) > r(LHMAX))
            h = sign_of(r(LHMAX), h);
        if (info[3] == 1 && sign_product(tn + h - r(LTSTOP), h) > 0)
            h = r(LTSTOP) - tn;
        int status = 1;
        dae_step(p, tn, y, yp, h, status, hmin, nonneg);
        if (status < 0) {
            stop(status);
            return;
        }
        r(LTN) = tn;
        r(LH) = h;
        if (sign_product(tn - tout, h) >= 0) {
            dae_interp(tn, tout, y, yp, neq, iw(LKOLD), p.phi, psi);
            t = tout;
            idid = 3;
            return;
        }
        if (info[3] == 1 && std::fabs(tn - r(LTSTOP)) <= 100 * uround * (std::fabs(tn) + std::fabs(h))) {
            t = tn;
            idid = 2;
            return;
        }
        if (info[2] == 1) {
            t = tn;
            idid = 1;
            return;
        }
    }
}
