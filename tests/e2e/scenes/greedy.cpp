// Allocates without end, touching every page.
#include "Tutorial.h"

#include <cstring>

void TForm1::DrawScene()
{
    for (;;)
    {
        const std::size_t Size = 64 << 20;
        std::memset(new char[Size], 1, Size);
    }
}
