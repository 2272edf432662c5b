#pragma once
// The arithmetic behind the CUETools database's parity: GF(2^16) (x^16+x^12+x^3+x+1,
// alpha = 2), the Reed-Solomon syndromes of a disc laid out as rows of 11760 16-bit words,
// and the decoding of one column's errors from the difference of two syndrome sets.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ctdb {

constexpr int StrideSamples = 5880;          // samples a row (ten sectors)
constexpr int Columns = 2 * StrideSamples;   // 16-bit words a row
constexpr int MaxNpar = 16;

uint16_t GfMul(uint16_t a, uint16_t b);
uint16_t GfDiv(uint16_t a, uint16_t b);      // b != 0
uint16_t GfPow(int64_t e);                   // alpha^e for any integer e
int GfLog(uint16_t a);                       // a != 0; 0..65534

// Multiplies by alpha^x for x = 0..MaxNpar-1 through two byte tables (the syndrome loop's
// hot step: one row word updates every column's syndromes by Horner's rule).
struct TGfAlphaTables {
    uint16_t Hi[MaxNpar][256];
    uint16_t Lo[MaxNpar][256];
    uint16_t Mul(int x, uint16_t v) const { return uint16_t(Hi[x][v >> 8] ^ Lo[x][v & 0xff]); }
};
const TGfAlphaTables& AlphaTables();

// Updates one column's MaxNpar syndromes with the next row's word: S_x = S_x * alpha^x + v.
inline void SyndromeStep(uint16_t* s, uint16_t v)
{
    const TGfAlphaTables& t = AlphaTables();
    s[0] ^= v;
    for (int x = 1; x < MaxNpar; ++x)
        s[x] = uint16_t(t.Mul(x, s[x]) ^ v);
}

// The syndromes of whole rows of words (row 0 first, the highest degree): S[c * MaxNpar + x].
std::vector<uint16_t> Syndromes(const uint16_t* words, int rows);

// A column's syndromes from its legacy parity words (p_0 first): S_x = sum p_k alpha^(-(k+1)x).
std::vector<uint16_t> SyndromesOfParity(const std::vector<uint16_t>& parity, int npar);
// The legacy parity of one column (words row 0 first): the remainder of D(x) x^npar by the
// generator, p_0 the highest term.
std::vector<uint16_t> ParityOfColumn(const std::vector<uint16_t>& column, int npar);

// One column's errors from the syndrome difference delta[0..npar-1] (ours XOR the
// database's) over `rows` rows. Degree d is row rows-1-d. Ok false: not decodable.
struct TColumnErrors {
    bool Ok = false;
    std::vector<int> Rows;             // the rows that hold an error
    std::vector<uint16_t> Values;      // the XOR that corrects each
};
TColumnErrors DecodeColumn(const uint16_t* delta, int npar, int rows);
// The number of errors Berlekamp-Massey finds in delta (no root search); -1 when more than
// npar/2 or the locator is inconsistent.
int ErrorCount(const uint16_t* delta, int npar);

} // namespace ctdb
