#include "link/aes.h"

#include <cstring>

namespace {

// GF(2^8) with the reduction polynomial 0x11B, used only to build the tables at compile time.
constexpr uint8_t XTime(uint8_t a) { return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0)); }

constexpr uint8_t GfMul(uint8_t a, uint8_t b)
{
    uint8_t p = 0;
    while (b) {
        if (b & 1) p ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return p;
}

constexpr uint8_t GfInverse(uint8_t a)
{
    if (a == 0) return 0;
    // a^254 = a^-1 in GF(2^8).
    uint8_t result = 1;
    uint8_t base = a;
    for (int e = 254; e; e >>= 1) {
        if (e & 1) result = GfMul(result, base);
        base = GfMul(base, base);
    }
    return result;
}

constexpr uint8_t Rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

struct Tables {
    uint8_t sbox[256]{};
    uint8_t inv[256]{};
    uint8_t mul2[256]{}, mul3[256]{}, mul9[256]{}, mul11[256]{}, mul13[256]{}, mul14[256]{};
    uint8_t rcon[10]{};
};

constexpr Tables MakeTables()
{
    Tables t{};
    for (int i = 0; i < 256; ++i) {
        const uint8_t b = GfInverse(static_cast<uint8_t>(i));
        // Affine transformation: b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4) ^ 0x63.
        const uint8_t s = static_cast<uint8_t>(b ^ Rotl8(b, 1) ^ Rotl8(b, 2) ^ Rotl8(b, 3) ^ Rotl8(b, 4) ^ 0x63);
        t.sbox[i] = s;
        t.inv[s] = static_cast<uint8_t>(i);
        const auto x = static_cast<uint8_t>(i);
        t.mul2[i] = GfMul(x, 2);
        t.mul3[i] = GfMul(x, 3);
        t.mul9[i] = GfMul(x, 9);
        t.mul11[i] = GfMul(x, 11);
        t.mul13[i] = GfMul(x, 13);
        t.mul14[i] = GfMul(x, 14);
    }
    uint8_t r = 1;
    for (auto& c : t.rcon) {
        c = r;
        r = XTime(r);
    }
    return t;
}

constexpr Tables T = MakeTables();

constexpr uint32_t SubWord(uint32_t w)
{
    return (static_cast<uint32_t>(T.sbox[w >> 24]) << 24) | (static_cast<uint32_t>(T.sbox[(w >> 16) & 0xFF]) << 16) |
           (static_cast<uint32_t>(T.sbox[(w >> 8) & 0xFF]) << 8) | T.sbox[w & 0xFF];
}

constexpr uint32_t RotWord(uint32_t w) { return (w << 8) | (w >> 24); }

// The state is held as 16 bytes in input order: byte 4c + r is row r of column c.
inline void AddRoundKey(uint8_t* s, const uint32_t* w)
{
    for (int c = 0; c < 4; ++c) {
        s[4 * c + 0] ^= static_cast<uint8_t>(w[c] >> 24);
        s[4 * c + 1] ^= static_cast<uint8_t>(w[c] >> 16);
        s[4 * c + 2] ^= static_cast<uint8_t>(w[c] >> 8);
        s[4 * c + 3] ^= static_cast<uint8_t>(w[c]);
    }
}

inline void InvShiftSub(uint8_t* s)
{
    uint8_t t[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * ((c + r) & 3) + r] = T.inv[s[4 * c + r]];
    std::memcpy(s, t, 16);
}

inline void InvMixColumns(uint8_t* s)
{
    for (int c = 0; c < 4; ++c) {
        uint8_t* col = s + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = static_cast<uint8_t>(T.mul14[a0] ^ T.mul11[a1] ^ T.mul13[a2] ^ T.mul9[a3]);
        col[1] = static_cast<uint8_t>(T.mul9[a0] ^ T.mul14[a1] ^ T.mul11[a2] ^ T.mul13[a3]);
        col[2] = static_cast<uint8_t>(T.mul13[a0] ^ T.mul9[a1] ^ T.mul14[a2] ^ T.mul11[a3]);
        col[3] = static_cast<uint8_t>(T.mul11[a0] ^ T.mul13[a1] ^ T.mul9[a2] ^ T.mul14[a3]);
    }
}

} // namespace

AES::~AES()
{
    // The schedule holds session key material; clear it before the memory is reused.
    volatile uint32_t* p = schedule_.data();
    for (std::size_t i = 0; i < schedule_.size(); ++i) p[i] = 0;
}

void AES::SetKey(const uint8_t* key)
{
    const int total = 4 * (Nr + 1);
    for (int i = 0; i < Nk; ++i)
        schedule_[static_cast<std::size_t>(i)] = (static_cast<uint32_t>(key[4 * i]) << 24) |
                                                 (static_cast<uint32_t>(key[4 * i + 1]) << 16) |
                                                 (static_cast<uint32_t>(key[4 * i + 2]) << 8) | key[4 * i + 3];
    for (int i = Nk; i < total; ++i) {
        uint32_t temp = schedule_[static_cast<std::size_t>(i - 1)];
        if (i % Nk == 0)
            temp = SubWord(RotWord(temp)) ^ (static_cast<uint32_t>(T.rcon[i / Nk - 1]) << 24);
        else if (Nk > 6 && i % Nk == 4)
            temp = SubWord(temp);
        schedule_[static_cast<std::size_t>(i)] = schedule_[static_cast<std::size_t>(i - Nk)] ^ temp;
    }
}

namespace {

// Round tables: the S-box output of a byte together with its MixColumns multiples, one 32-bit
// column word per table; table k is table 0 rotated right by 8k bits. Built at compile time from
// the byte tables above, so the rounds do table look-ups and XORs only.
struct RoundTables {
    uint32_t te[4][256]{};
};

constexpr uint32_t Ror32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

constexpr RoundTables MakeRoundTables()
{
    RoundTables r{};
    for (int x = 0; x < 256; ++x) {
        const uint32_t sb = T.sbox[x];
        const uint32_t w = (static_cast<uint32_t>(T.mul2[sb]) << 24) | (sb << 16) | (sb << 8) | T.mul3[sb];
        for (int k = 0; k < 4; ++k) r.te[k][x] = k ? Ror32(w, 8 * k) : w;
    }
    return r;
}

constexpr RoundTables R = MakeRoundTables();

inline uint32_t LoadBe(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

inline void StoreBe(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// SubBytes, ShiftRows and MixColumns of one output column: row r comes from column c + r.
inline uint32_t RoundColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return R.te[0][a >> 24] ^ R.te[1][(b >> 16) & 0xFF] ^ R.te[2][(c >> 8) & 0xFF] ^ R.te[3][d & 0xFF];
}

inline uint32_t LastColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return (static_cast<uint32_t>(T.sbox[a >> 24]) << 24) | (static_cast<uint32_t>(T.sbox[(b >> 16) & 0xFF]) << 16) |
           (static_cast<uint32_t>(T.sbox[(c >> 8) & 0xFF]) << 8) | T.sbox[d & 0xFF];
}

} // namespace

void AES::Encrypt(uint8_t* block)
{
    // The state as four column words, first byte of each column most significant, as the key
    // schedule's words are.
    const uint32_t* w = schedule_.data();
    uint32_t s0 = LoadBe(block) ^ w[0];
    uint32_t s1 = LoadBe(block + 4) ^ w[1];
    uint32_t s2 = LoadBe(block + 8) ^ w[2];
    uint32_t s3 = LoadBe(block + 12) ^ w[3];
    for (int round = 1; round < Nr; ++round) {
        w += 4;
        const uint32_t t0 = RoundColumn(s0, s1, s2, s3) ^ w[0];
        const uint32_t t1 = RoundColumn(s1, s2, s3, s0) ^ w[1];
        const uint32_t t2 = RoundColumn(s2, s3, s0, s1) ^ w[2];
        const uint32_t t3 = RoundColumn(s3, s0, s1, s2) ^ w[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    w += 4;
    StoreBe(block, LastColumn(s0, s1, s2, s3) ^ w[0]);
    StoreBe(block + 4, LastColumn(s1, s2, s3, s0) ^ w[1]);
    StoreBe(block + 8, LastColumn(s2, s3, s0, s1) ^ w[2]);
    StoreBe(block + 12, LastColumn(s3, s0, s1, s2) ^ w[3]);
}

void AES::Decrypt(uint8_t* block)
{
    const uint32_t* w = schedule_.data();
    AddRoundKey(block, w + 4 * Nr);
    for (int round = Nr - 1; round > 0; --round) {
        InvShiftSub(block);
        AddRoundKey(block, w + 4 * round);
        InvMixColumns(block);
    }
    InvShiftSub(block);
    AddRoundKey(block, w);
}
