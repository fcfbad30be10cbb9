#include "Png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <string_view>

namespace
{

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size)
{
    static const std::array<std::uint32_t, 256> Table = []
    {
        std::array<std::uint32_t, 256> T{};
        for (std::uint32_t N = 0; N < 256; ++N)
        {
            std::uint32_t C = N;
            for (int K = 0; K < 8; ++K)
                C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
            T[N] = C;
        }
        return T;
    }();
    std::uint32_t C = 0xFFFFFFFFu;
    for (std::size_t I = 0; I < Size; ++I)
        C = Table[(C ^ Data[I]) & 0xFF] ^ (C >> 8);
    return C ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const std::vector<std::uint8_t>& Data)
{
    std::uint32_t A = 1, B = 0;
    for (std::uint8_t Byte : Data)
    {
        A = (A + Byte) % 65521;
        B = (B + A) % 65521;
    }
    return B << 16 | A;
}

// Deflate's bit order: values least significant bit first, Huffman codes most significant first.
class TBitWriter
{
public:
    explicit TBitWriter(std::vector<std::uint8_t>& Out) : Out(Out) {}

    void Bits(std::uint32_t Value, int Count)
    {
        for (int I = 0; I < Count; ++I)
            Bit((Value >> I) & 1);
    }
    void Code(std::uint32_t Code, int Length)
    {
        for (int I = Length - 1; I >= 0; --I)
            Bit((Code >> I) & 1);
    }
    void Flush()
    {
        if (Used)
            Out.push_back(Pending);
        Pending = 0;
        Used = 0;
    }

private:
    void Bit(std::uint32_t B)
    {
        Pending = static_cast<std::uint8_t>(Pending | B << Used);
        if (++Used == 8)
            Flush();
    }

    std::vector<std::uint8_t>& Out;
    std::uint8_t Pending = 0;
    int Used = 0;
};

// The fixed Huffman code of a literal/length symbol (RFC 1951, 3.2.6).
void Symbol(TBitWriter& W, int S)
{
    if (S < 144)
        W.Code(0x30 + S, 8);
    else if (S < 256)
        W.Code(0x190 + S - 144, 9);
    else if (S < 280)
        W.Code(S - 256, 7);
    else
        W.Code(0xC0 + S - 280, 8);
}

constexpr int MaxMatch = 258;
constexpr int LengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int LengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int DistanceBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int DistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void Match(TBitWriter& W, int Length, int Distance)
{
    const int L =
        static_cast<int>(std::upper_bound(std::begin(LengthBase), std::end(LengthBase), Length) -
                         std::begin(LengthBase)) -
        1;
    Symbol(W, 257 + L);
    W.Bits(Length - LengthBase[L], LengthExtra[L]);
    const int D = static_cast<int>(
                      std::upper_bound(std::begin(DistanceBase), std::end(DistanceBase), Distance) -
                      std::begin(DistanceBase)) -
                  1;
    W.Code(D, 5);
    W.Bits(Distance - DistanceBase[D], DistanceExtra[D]);
}

// One fixed-code block. The only distances tried are the byte and the pixel before and the row
// above: that is where a rendered frame, filtered, repeats itself.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& Data, int Stride)
{
    std::vector<std::uint8_t> Out;
    TBitWriter W(Out);
    W.Bits(1, 1); // the last block
    W.Bits(1, 2); // fixed Huffman codes
    const std::size_t Size = Data.size();
    const int Distances[] = {1, 3, Stride};
    for (std::size_t I = 0; I < Size;)
    {
        int Best = 0, BestDistance = 0;
        for (int D : Distances)
        {
            if (static_cast<std::size_t>(D) > I || D > 32768)
                continue;
            int L = 0;
            while (L < MaxMatch && I + L < Size && Data[I + L] == Data[I + L - D])
                ++L;
            if (L > Best)
                Best = L, BestDistance = D;
        }
        if (Best >= 3)
        {
            Match(W, Best, BestDistance);
            I += Best;
        }
        else
            Symbol(W, Data[I++]);
    }
    Symbol(W, 256);
    W.Flush();
    return Out;
}

void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<std::uint8_t>(V >> Shift));
}

void Chunk(std::vector<std::uint8_t>& Out, std::string_view Type,
           const std::vector<std::uint8_t>& Data)
{
    Put32(Out, static_cast<std::uint32_t>(Data.size()));
    const std::size_t Start = Out.size();
    Out.insert(Out.end(), Type.begin(), Type.end());
    Out.insert(Out.end(), Data.begin(), Data.end());
    Put32(Out, Crc32(Out.data() + Start, Out.size() - Start));
}

} // namespace

std::vector<std::uint8_t> EncodePng(int Width, int Height, const std::vector<std::uint8_t>& Rgb)
{
    const std::size_t Row = static_cast<std::size_t>(Width) * 3;
    std::vector<std::uint8_t> Raw;
    Raw.reserve((Row + 1) * Height);
    // Each row takes the filter (none, the pixel before, the row above) whose bytes are smallest
    // taken as signed, the usual choice: a gradient's differences repeat where its values do not.
    std::vector<std::uint8_t> Filtered[3];
    for (int Y = 0; Y < Height; ++Y)
    {
        const std::uint8_t* Pixels = Rgb.data() + Y * Row;
        long Best = -1;
        int Chosen = 0;
        for (int Filter = 0; Filter < 3; ++Filter)
        {
            std::vector<std::uint8_t>& Out = Filtered[Filter];
            Out.resize(Row);
            long Score = 0;
            for (std::size_t I = 0; I < Row; ++I)
            {
                const int Before = Filter == 1 && I >= 3  ? Pixels[I - 3]
                                   : Filter == 2 && Y > 0 ? Pixels[I - Row]
                                                          : 0;
                Out[I] = static_cast<std::uint8_t>(Filter ? Pixels[I] - Before : Pixels[I]);
                Score += std::abs(static_cast<std::int8_t>(Out[I]));
            }
            if (Best < 0 || Score < Best)
                Best = Score, Chosen = Filter;
        }
        Raw.push_back(static_cast<std::uint8_t>(Chosen));
        Raw.insert(Raw.end(), Filtered[Chosen].begin(), Filtered[Chosen].end());
    }

    std::vector<std::uint8_t> Header;
    Put32(Header, static_cast<std::uint32_t>(Width));
    Put32(Header, static_cast<std::uint32_t>(Height));
    Header.insert(Header.end(),
                  {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, filters by row, no interlace

    std::vector<std::uint8_t> Compressed = {0x78, 0x01}; // zlib, 32 KiB window
    const std::vector<std::uint8_t> Body = Deflate(Raw, static_cast<int>(Row + 1));
    Compressed.insert(Compressed.end(), Body.begin(), Body.end());
    Put32(Compressed, Adler32(Raw));

    std::vector<std::uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Chunk(Png, "IHDR", Header);
    Chunk(Png, "IDAT", Compressed);
    Chunk(Png, "IEND", {});
    return Png;
}
