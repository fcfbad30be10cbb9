// Allocates without end, touching one byte of every page: all it takes is memory, and it reaches
// the limit after the least work (writing whole blocks took seconds of a loaded processor).
#include "Tutorial.h"

void TForm1::DrawScene()
{
    for (;;)
    {
        const std::size_t Size = 64 << 20, Page = 4096;
        volatile char* Block = new char[Size];
        for (std::size_t I = 0; I < Size; I += Page)
            Block[I] = 1;
    }
}
