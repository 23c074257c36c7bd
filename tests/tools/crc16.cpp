// crc16: the CRC-16 of a file as the hello program on the Z80 target computes it (CCITT:
// polynomial 1021h, starting at FFFFh, no reflection), in four hexadecimal digits, so a test
// can compare the program's line with the payload it sent.
//
//   crc16 FILE
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: crc16 FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                           std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad()) {
        std::perror(argv[1]);
        return 1;
    }
    std::uint16_t crc = 0xFFFF;
    for (unsigned char byte : bytes) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                      : static_cast<std::uint16_t>(crc << 1);
    }
    std::printf("%04X\n", crc);
    return 0;
}
