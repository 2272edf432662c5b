#include "cd/CtdbMath.h"

#include <algorithm>

namespace ctdb {

namespace {

constexpr uint32_t kPoly = 0x1100B;
constexpr int kOrder = 65535;

struct TGfTables {
    std::vector<uint16_t> Exp;   // 2 * kOrder entries: no reduction needed after adding logs
    std::vector<int> Log;
    TGfTables() : Exp(2 * kOrder), Log(65536, 0)
    {
        uint32_t v = 1;
        for (int i = 0; i < kOrder; ++i) {
            Exp[size_t(i)] = uint16_t(v);
            Log[v] = i;
            v <<= 1;
            if (v & 0x10000)
                v ^= kPoly;
        }
        for (int i = kOrder; i < 2 * kOrder; ++i)
            Exp[size_t(i)] = Exp[size_t(i - kOrder)];
    }
};

const TGfTables& Tables()
{
    static const TGfTables t;
    return t;
}

} // namespace

uint16_t GfMul(uint16_t a, uint16_t b)
{
    if (a == 0 || b == 0)
        return 0;
    const TGfTables& t = Tables();
    return t.Exp[size_t(t.Log[a] + t.Log[b])];
}

uint16_t GfDiv(uint16_t a, uint16_t b)
{
    if (a == 0)
        return 0;
    const TGfTables& t = Tables();
    return t.Exp[size_t(t.Log[a] + kOrder - t.Log[b])];
}

uint16_t GfPow(int64_t e)
{
    e %= kOrder;
    if (e < 0)
        e += kOrder;
    return Tables().Exp[size_t(e)];
}

int GfLog(uint16_t a)
{
    return Tables().Log[a];
}

const TGfAlphaTables& AlphaTables()
{
    static const TGfAlphaTables tables = [] {
        TGfAlphaTables t{};
        for (int x = 0; x < MaxNpar; ++x) {
            const uint16_t a = GfPow(x);
            for (int b = 0; b < 256; ++b) {
                t.Hi[x][b] = GfMul(a, uint16_t(b << 8));
                t.Lo[x][b] = GfMul(a, uint16_t(b));
            }
        }
        return t;
    }();
    return tables;
}

std::vector<uint16_t> Syndromes(const uint16_t* words, int rows)
{
    std::vector<uint16_t> s(size_t(Columns) * MaxNpar, 0);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < Columns; ++c)
            SyndromeStep(&s[size_t(c) * MaxNpar], words[size_t(r) * Columns + size_t(c)]);
    return s;
}

std::vector<uint16_t> SyndromesOfParity(const std::vector<uint16_t>& parity, int npar)
{
    std::vector<uint16_t> s(size_t(npar), 0);
    for (int x = 0; x < npar; ++x)
        for (int k = 0; k < npar && k < int(parity.size()); ++k)
            s[size_t(x)] ^= GfMul(parity[size_t(k)], GfPow(-int64_t(k + 1) * x));
    return s;
}

std::vector<uint16_t> ParityOfColumn(const std::vector<uint16_t>& column, int npar)
{
    // The generator's coefficients, g[npar] = 1 the highest.
    std::vector<uint16_t> g(size_t(npar) + 1, 0);
    g[0] = 1;
    for (int k = 0; k < npar; ++k) {
        // Multiply by (x + alpha^k).
        const uint16_t root = GfPow(k);
        for (int i = k + 1; i > 0; --i)
            g[size_t(i)] = uint16_t(g[size_t(i - 1)] ^ GfMul(g[size_t(i)], root));
        g[0] = GfMul(g[0], root);
    }
    std::vector<uint16_t> r(size_t(npar), 0);
    for (const uint16_t d : column) {
        const uint16_t fb = uint16_t(d ^ r[0]);
        for (int i = 0; i + 1 < npar; ++i)
            r[size_t(i)] = uint16_t(r[size_t(i + 1)] ^ GfMul(fb, g[size_t(npar - 1 - i)]));
        r[size_t(npar - 1)] = GfMul(fb, g[0]);
    }
    return r;
}

namespace {

// Berlekamp-Massey over GF(2^16): the error locator of the syndromes, lambda[0] = 1.
// Returns its length (the number of errors), -1 when it cannot be right.
int Locator(const uint16_t* s, int npar, std::vector<uint16_t>& lambda)
{
    std::vector<uint16_t> c(size_t(npar) + 1, 0), b(size_t(npar) + 1, 0), t;
    c[0] = b[0] = 1;
    int len = 0, m = 1;
    uint16_t lastD = 1;
    for (int n = 0; n < npar; ++n) {
        uint16_t d = s[n];
        for (int i = 1; i <= len; ++i)
            d ^= GfMul(c[size_t(i)], s[n - i]);
        if (d == 0) {
            ++m;
            continue;
        }
        const uint16_t coef = GfDiv(d, lastD);
        if (2 * len <= n) {
            t = c;
            for (int i = 0; i + m <= npar; ++i)
                c[size_t(i + m)] ^= GfMul(coef, b[size_t(i)]);
            len = n + 1 - len;
            b = t;
            lastD = d;
            m = 1;
        } else {
            for (int i = 0; i + m <= npar; ++i)
                c[size_t(i + m)] ^= GfMul(coef, b[size_t(i)]);
            ++m;
        }
    }
    int degree = npar;
    while (degree > 0 && c[size_t(degree)] == 0)
        --degree;
    if (len > npar / 2 || degree != len)
        return -1;
    c.resize(size_t(len) + 1);
    lambda = std::move(c);
    return len;
}

} // namespace

int ErrorCount(const uint16_t* delta, int npar)
{
    std::vector<uint16_t> lambda;
    return Locator(delta, npar, lambda);
}

TColumnErrors DecodeColumn(const uint16_t* delta, int npar, int rows)
{
    TColumnErrors out;
    std::vector<uint16_t> lambda;
    const int nu = Locator(delta, npar, lambda);
    if (nu < 0)
        return out;
    if (nu == 0) {
        out.Ok = true;
        return out;
    }
    // The roots alpha^(-d), d = 0..rows-1: a single error is read off directly, more are
    // searched (Chien).
    std::vector<int> degrees;
    if (nu == 1) {
        const int d = GfLog(lambda[1]);
        if (d < rows)
            degrees.push_back(d);
    } else {
        std::vector<uint16_t> term(lambda.begin(), lambda.end());
        std::vector<uint16_t> step(size_t(nu) + 1);
        for (int i = 0; i <= nu; ++i)
            step[size_t(i)] = GfPow(-int64_t(i));
        for (int d = 0; d < rows; ++d) {
            uint16_t sum = 0;
            for (int i = 0; i <= nu; ++i)
                sum ^= term[size_t(i)];
            if (sum == 0) {
                degrees.push_back(d);
                if (int(degrees.size()) == nu)
                    break;
            }
            for (int i = 1; i <= nu; ++i)
                term[size_t(i)] = GfMul(term[size_t(i)], step[size_t(i)]);
        }
    }
    if (int(degrees.size()) != nu)
        return out;
    // Forney: e = X * Omega(1/X) / Lambda'(1/X), Omega = S * Lambda mod z^npar.
    std::vector<uint16_t> omega(size_t(npar), 0);
    for (int i = 0; i < npar; ++i)
        for (int j = 0; j <= nu && j <= i; ++j)
            omega[size_t(i)] ^= GfMul(delta[i - j], lambda[size_t(j)]);
    for (const int d : degrees) {
        const uint16_t xInv = GfPow(-int64_t(d));
        uint16_t num = 0, den = 0, power = 1;
        for (int i = 0; i < npar; ++i) {
            num ^= GfMul(omega[size_t(i)], power);
            power = GfMul(power, xInv);
        }
        power = 1;   // (1/X)^(i-1) for odd i
        const uint16_t xInv2 = GfMul(xInv, xInv);
        for (int i = 1; i <= nu; i += 2) {
            den ^= GfMul(lambda[size_t(i)], power);
            power = GfMul(power, xInv2);
        }
        if (den == 0)
            return out;
        const uint16_t e = GfMul(GfPow(d), GfDiv(num, den));
        if (e == 0)
            return out;
        out.Rows.push_back(rows - 1 - d);
        out.Values.push_back(e);
    }
    out.Ok = true;
    return out;
}

} // namespace ctdb
