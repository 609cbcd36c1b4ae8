#pragma once
#include <array>
#include <cstdint>

// An abstract block cipher: encrypts and decrypts one block in place.
class Coder {
public:
    explicit Coder(int size) : blockSize(size) {}
    virtual ~Coder() = default;
    Coder(const Coder&) = delete;
    Coder& operator=(const Coder&) = delete;

    virtual void Encrypt(uint8_t* block) = 0;
    virtual void Decrypt(uint8_t* block) = 0;

    const int blockSize;
};

// FIPS-197 AES on tables precomputed at compile time; no allocation. Nk and Nr are fixed by the subclass.
class AES : public Coder {
public:
    AES(int nk, int nr) : Coder(16), Nk(nk), Nr(nr) {}
    ~AES() override;

    // FIPS-197 key expansion; key holds 4 * Nk bytes, the first byte is the first byte of word 0.
    void SetKey(const uint8_t* key);
    void Encrypt(uint8_t* block) override;
    void Decrypt(uint8_t* block) override;

    const int Nk;
    const int Nr;

private:
    std::array<uint32_t, 60> schedule_{};
};

class AES128 : public AES {
public:
    AES128() : AES(4, 10) {}
};
